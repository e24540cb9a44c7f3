#!/usr/bin/python3
"""Compares the samples of `falorengif-cli export --fps R --timing` with ffmpeg's fps filter.

usage: fps_compare.py OURS_DIR FFMPEG_DIR
  OURS_DIR    the export's folder (NAME_N.png and NAME_timing.json)
  FFMPEG_DIR  ffmpeg -i FILE -vf fps=R FFMPEG_DIR/%d.png
Prints the sample numbers (from 0) whose pictures differ. Needs python3-pil.
"""
import sys, json, os
from PIL import Image
ours, ff = sys.argv[1], sys.argv[2]
t = json.load(open(os.path.join(ours, [f for f in os.listdir(ours) if f.endswith('_timing.json')][0])))
def key(p):
    im = Image.open(p).convert('RGBA'); b = bytearray(im.tobytes())
    for i in range(3, len(b), 4):
        if b[i] == 0: b[i-3:i+1] = b'\0\0\0\0'
    return hash(bytes(b))
samples = t['frames']
ffn = sorted(os.listdir(ff), key=lambda s: int(s.split('.')[0]))
print('ours', len(samples), 'ffmpeg', len(ffn))
diff = []
for k in range(max(len(samples), len(ffn))):
    if k >= len(samples) or k >= len(ffn): diff.append(k); continue
    if key(os.path.join(ours, samples[k]['file'])) != key(os.path.join(ff, ffn[k])): diff.append(k)
print('differ at samples', diff[:20], 'count', len(diff))
