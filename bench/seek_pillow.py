#!/usr/bin/python3
"""Pillow's figures for seek_bench: how long Image.seek() takes to give a frame.

usage: seek_pillow.py GIF...
Prints per GIF one line in seek_bench's form, each figure the time of
seek(n) and load() until the composited frame is there: next (median of 50
steps forward from frame 0), back and back_max (median and maximum of 20 steps
back from the last frame), random_p50/p95 (50 frames drawn with a fixed seed),
decode (the median of the forward steps: Pillow decodes every step forward) and
peak (the process's maximum resident set). Needs python3-pil.
"""
import random
import resource
import sys
import time

from PIL import Image

FORWARD_STEPS, BACK_STEPS, RANDOM_SEEKS, SEED = 50, 20, 50, 20


def quantile(values, q):
    values = sorted(values)
    return values[min(len(values) - 1, int(q * len(values)))] if values else 0.0


def timed_seek(im, frame):
    start = time.perf_counter()
    im.seek(frame)
    im.load()
    return (time.perf_counter() - start) * 1000.0


def measure(path):
    im = Image.open(path)
    count = im.n_frames
    timed_seek(im, 0)
    forward = [timed_seek(im, k) for k in range(1, min(FORWARD_STEPS, count - 1) + 1)]
    timed_seek(im, count - 1)
    back = [timed_seek(im, count - 1 - k) for k in range(1, min(BACK_STEPS, count - 1) + 1)]
    draw = random.Random(SEED)
    spread = [timed_seek(im, draw.randrange(count)) for _ in range(RANDOM_SEEKS)]
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0
    print('pillow seek: next=%.1fms back=%.1fms back_max=%.1fms random_p50=%.1fms '
          'random_p95=%.1fms decode=%.1fms peak=%.0fMB'
          % (quantile(forward, 0.5), quantile(back, 0.5), quantile(back, 1.0),
             quantile(spread, 0.5), quantile(spread, 0.95), quantile(forward, 0.5), peak),
          flush=True)


if __name__ == '__main__':
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    for gif in sys.argv[1:]:
        measure(gif)
