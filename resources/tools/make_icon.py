#!/usr/bin/python3
"""Draws the program icon (resource 128): a gold kestrel-wing "K" on a dark
enamel disc. Writes kestrun.ico with the sizes Windows asks for."""
import math
import sys
from PIL import Image, ImageDraw, ImageFilter

SS = 4  # supersampling for smooth edges


def emblem(size):
    s = size * SS
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    pad = s * 0.04
    # Disc with a vertical gradient: deep teal to near black.
    disc = Image.new("RGBA", (s, s))
    dd = ImageDraw.Draw(disc)
    for y in range(s):
        t = y / s
        dd.line([(0, y), (s, y)], fill=(int(18 + 20 * (1 - t)), int(48 + 40 * (1 - t)), int(62 + 50 * (1 - t)), 255))
    mask = Image.new("L", (s, s), 0)
    ImageDraw.Draw(mask).ellipse([pad, pad, s - pad, s - pad], fill=255)
    img.paste(disc, (0, 0), mask)
    # Gold rim.
    d.ellipse([pad, pad, s - pad, s - pad], outline=(222, 176, 84, 255), width=max(SS, int(s * 0.055)))
    # The "K": a stem and two swept wings.
    gold = (246, 204, 110, 255)
    cx, cy = s * 0.5, s * 0.5
    w = s * 0.11
    d.polygon([(cx - s * 0.2, cy - s * 0.27), (cx - s * 0.2 + w, cy - s * 0.27),
               (cx - s * 0.2 + w, cy + s * 0.27), (cx - s * 0.2, cy + s * 0.27)], fill=gold)
    d.polygon([(cx - s * 0.07, cy + s * 0.02), (cx + s * 0.24, cy - s * 0.3),
               (cx + s * 0.12, cy - s * 0.05), (cx - s * 0.02, cy + s * 0.07)], fill=gold)
    d.polygon([(cx - s * 0.05, cy - s * 0.01), (cx + s * 0.02, cy - s * 0.05),
               (cx + s * 0.25, cy + s * 0.28), (cx + s * 0.1, cy + s * 0.28)], fill=gold)
    # A soft highlight across the top half.
    glow = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    ImageDraw.Draw(glow).ellipse([s * 0.18, s * 0.08, s * 0.82, s * 0.45], fill=(255, 255, 255, 38))
    glow = glow.filter(ImageFilter.GaussianBlur(s * 0.04))
    img = Image.alpha_composite(img, Image.composite(glow, Image.new("RGBA", (s, s)), mask))
    return img.resize((size, size), Image.LANCZOS)


def main(out):
    sizes = [16, 24, 32, 48, 64, 256]
    images = [emblem(n) for n in sizes]
    images[-1].save(out, format="ICO", sizes=[(n, n) for n in sizes], append_images=images[:-1])


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "kestrun.ico")
