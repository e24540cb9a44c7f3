# Sourced by compare.sh and formats.sh: what running the peer tools side by side
# needs. Sets `work` (a temporary folder removed on exit) with ImageMagick's raised
# policy in $work/magick and Pillow's frame writer in $work/pillow_frames.py, and
# defines has, measure and ratio.

has() { command -v "$1" >/dev/null 2>&1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# ImageMagick's stock policy (256 MiB) makes it fail on these inputs: raise it.
mkdir -p "$work/magick"
cat > "$work/magick/policy.xml" <<'EOP'
<policymap>
  <policy domain="resource" name="memory" value="16GiB"/>
  <policy domain="resource" name="map" value="32GiB"/>
  <policy domain="resource" name="width" value="128KP"/>
  <policy domain="resource" name="height" value="128KP"/>
  <policy domain="resource" name="area" value="16GP"/>
  <policy domain="resource" name="disk" value="64GiB"/>
</policymap>
EOP

cat > "$work/pillow_frames.py" <<'EOP'
import sys
from PIL import Image, ImageSequence
src, out = sys.argv[1], sys.argv[2]
with Image.open(src) as im:
    for i, frame in enumerate(ImageSequence.Iterator(im)):
        frame.convert("RGBA").save(f"{out}/f_{i + 1}.png")
EOP

# measure OUTDIR COMMAND...: runs the command once; sets wall, mem (MB), size (MB), files, rc.
measure() {
  outdir=$1; shift
  rm -rf "$outdir"; mkdir -p "$outdir"
  rc=0
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || rc=$?
  wall=$(tail -n 1 "$work/time.txt" | cut -d' ' -f1)
  mem=$(tail -n 1 "$work/time.txt" | awk '{ printf "%.0f", $2 / 1024 }')
  size=$(du -sb "$outdir" | awk '{ printf "%.2f", $1 / 1000000 }')
  files=$(find "$outdir" -type f | wc -l)
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
