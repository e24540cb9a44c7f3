# Sourced by run.sh, test.sh and scripts/package.sh from the tree's top folder:
# installs the Debian packages the project needs when any is missing (apt-get;
# sudo when not root). Usage: fg_install_deps PKG...
fg_install_deps() {
  missing=""
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $p"
    fi
  done
  [ -z "$missing" ] && return 0
  echo "Installing:$missing"
  if [ "$(id -u)" = 0 ]; then SUDO=""; else SUDO="sudo"; fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends \
    -o DPkg::Lock::Timeout=600 $missing
}

# The package lists live once, in debian/control, and are read from there.
# fg_control_field PACKAGE FIELD [test|build]: the package names of a field of
# the control file's paragraph for the binary package PACKAGE ("source": the
# source paragraph), without versions and substitution variables. "test" keeps only the names
# marked <!nocheck> (needed to run the tests), "build" only the others.
fg_control_field() {
  awk -v pkg="$1" -v field="$2" -v which="${3:-}" '
    /^Source:/ { inpara = (pkg == "source") }
    /^Package:/ { inpara = ($2 == pkg) }
    /^$/ { inpara = 0 }
    inpara && /^[^ \t]/ { infield = (index($0, field ":") == 1); if (infield) sub(/^[^:]*:/, "") }
    inpara && infield { text = text " " $0 }
    END {
      n = split(text, entries, ",")
      for (i = 1; i <= n; i++) {
        e = entries[i]
        test = (e ~ /<!nocheck>/)
        sub(/[ \t]*[(<\[].*/, "", e); gsub(/[ \t]/, "", e)
        if (e == "" || e ~ /^\$/ || e == "debhelper-compat") continue
        if ((which == "test" && !test) || (which == "build" && test)) continue
        printf "%s ", e
      }
    }' debian/control
}

# What building and running the programs from this tree needs: the compiler and
# make (Debian's build-essential brings them to a package build), the
# Build-Depends that the tests do not mark, and what the desktop program loads
# at run time (its package's Depends). test.sh adds FG_TEST_PACKAGES.
FG_BUILD_PACKAGES="ca-certificates g++ make $(fg_control_field source Build-Depends build) \
$(fg_control_field falorengif Depends)"
FG_TEST_PACKAGES="$(fg_control_field source Build-Depends test)"
