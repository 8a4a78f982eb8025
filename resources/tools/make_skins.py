#!/usr/bin/python3
"""Draws the skin pictures (WebP resources 271 to 315) and writes them as
resources/skins/<id>.webp through cwebp.

Run from anywhere: /usr/bin/python3 resources/tools/make_skins.py
Needs PIL (python3-pil) and cwebp (package webp). The generated files are
committed, so a build needs neither.

Pictures with transparency are written from RGBA (cwebp stores VP8X, ALPH and
VP8 chunks); opaque pictures from RGB (a plain VP8 chunk). Every picture
with transparency has at least one pixel below full alpha, otherwise cwebp
would drop the alpha chunk."""
import math
import os
import subprocess
import sys
import tempfile
from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "skins")
FONTS = "/usr/share/fonts/truetype/dejavu/"
SS = 4  # supersampling factor for smooth edges

# Palette: night blue enamel, teal light and old gold.
INK = (7, 9, 14)
NIGHT = (14, 20, 31)
NIGHT_LOW = (8, 11, 18)
TEAL = (46, 156, 170)
TEAL_DEEP = (18, 70, 82)
GOLD = (222, 178, 92)
GOLD_LIGHT = (250, 218, 140)
GOLD_DARK = (128, 94, 40)
EMBER = (196, 58, 46)
SILVER = (196, 204, 214)

# Where the control layer puts its parts on the 1379 x 702 login picture.
LOGIN_SIZE = (1379, 702)
PAGE_FRAME = (466, 197, 645, 421)  # x, y, width, height of the login page
CLOSE_AT = (1148, 140)
MINIMISE_AT = (1112, 140)


def font(name, size):
    return ImageFont.truetype(FONTS + name, size)


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def vertical_gradient(size, top, bottom):
    w, h = size
    img = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(img)
    for y in range(h):
        d.line([(0, y), (w, y)], fill=lerp(top, bottom, y / max(1, h - 1)))
    return img


def radial_glow(size, centre, radius, colour, strength):
    """An RGBA layer: colour fading from `strength` alpha at centre to 0."""
    w, h = size
    mask = Image.new("L", (w, h), 0)
    d = ImageDraw.Draw(mask)
    steps = 40
    for i in range(steps, 0, -1):
        r = radius * i / steps
        a = int(strength * (1 - i / steps) ** 1.6)
        d.ellipse([centre[0] - r, centre[1] - r, centre[0] + r, centre[1] + r], fill=a)
    mask = mask.filter(ImageFilter.GaussianBlur(radius / 12))
    layer = Image.new("RGBA", (w, h), colour + (0,))
    layer.putalpha(mask)
    return layer


def downsample(img, size):
    return img.resize(size, Image.LANCZOS)


def text_centered(draw, box, text, fnt, fill):
    l, t, r, b = draw.textbbox((0, 0), text, font=fnt)
    x = box[0] + (box[2] - box[0] - (r - l)) / 2 - l
    y = box[1] + (box[3] - box[1] - (b - t)) / 2 - t
    draw.text((x, y), text, font=fnt, fill=fill)


# ---------------------------------------------------------------- emblem

def emblem(size, rim=GOLD, body_top=(40, 96, 112), body_bottom=(12, 30, 40)):
    """The Velmora crest: an enamel disc with a gold rim and a swept kestrel wing."""
    s = size * SS
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    pad = s * 0.05
    disc = vertical_gradient((s, s), body_top, body_bottom).convert("RGBA")
    mask = Image.new("L", (s, s), 0)
    ImageDraw.Draw(mask).ellipse([pad, pad, s - pad, s - pad], fill=255)
    img.paste(disc, (0, 0), mask)
    d = ImageDraw.Draw(img)
    d.ellipse([pad, pad, s - pad, s - pad], outline=rim + (255,), width=max(SS, int(s * 0.05)))
    d.ellipse([s * 0.14, s * 0.14, s * 0.86, s * 0.86], outline=rim + (120,), width=max(1, int(s * 0.012)))
    # Wing: three swept feathers and a body.
    c = s / 2
    feathers = [
        [(c - s * 0.26, c + s * 0.12), (c + s * 0.30, c - s * 0.28), (c + s * 0.06, c + s * 0.02)],
        [(c - s * 0.24, c + s * 0.18), (c + s * 0.30, c - s * 0.12), (c + s * 0.04, c + s * 0.10)],
        [(c - s * 0.20, c + s * 0.24), (c + s * 0.26, c + s * 0.04), (c + s * 0.02, c + s * 0.18)],
    ]
    for i, f in enumerate(feathers):
        d.polygon(f, fill=lerp(GOLD_LIGHT, GOLD, i / 2) + (255,))
    d.polygon([(c - s * 0.30, c + s * 0.02), (c - s * 0.12, c - s * 0.06), (c - s * 0.04, c + s * 0.10),
               (c - s * 0.22, c + s * 0.26)], fill=GOLD_LIGHT + (255,))
    shine = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    ImageDraw.Draw(shine).ellipse([s * 0.2, s * 0.1, s * 0.8, s * 0.42], fill=(255, 255, 255, 34))
    shine = shine.filter(ImageFilter.GaussianBlur(s * 0.03))
    shine.putalpha(ImageChops.multiply(shine.getchannel("A"), mask))
    img = Image.alpha_composite(img, shine)
    return downsample(img, (size, size))


# ---------------------------------------------------------------- login background

def rounded_mask(size, box, radius, blur=0):
    m = Image.new("L", size, 0)
    ImageDraw.Draw(m).rounded_rectangle(box, radius=radius, fill=255)
    return m.filter(ImageFilter.GaussianBlur(blur)) if blur else m


def login_background():
    w, h = LOGIN_SIZE
    body = (168, 104, 1212, 652)
    canvas = Image.new("RGBA", (w, h), (0, 0, 0, 0))

    # Outer aura: a teal-black haze around the panel that fades to nothing
    # well before the picture's edges, plus a warm glow behind the crest.
    aura = Image.new("RGBA", (w, h), (4, 14, 20, 0))
    aura.putalpha(rounded_mask((w, h), (body[0] - 40, body[1] - 36, body[2] + 40, body[3] + 36), 60, 38)
                  .point(lambda a: int(a * 0.78)))
    canvas = Image.alpha_composite(canvas, aura)
    canvas = Image.alpha_composite(canvas, radial_glow((w, h), (318, 150), 230, TEAL, 150))
    canvas = Image.alpha_composite(canvas, radial_glow((w, h), (1100, 660), 260, (60, 40, 120), 90))

    # The panel: enamel gradient with a teal light from the left and a
    # faint diagonal weave.
    panel = vertical_gradient((w, h), NIGHT, NIGHT_LOW).convert("RGBA")
    panel = Image.alpha_composite(panel, radial_glow((w, h), (300, 330), 420, TEAL_DEEP, 210))
    panel = Image.alpha_composite(panel, radial_glow((w, h), (900, 120), 380, (30, 44, 70), 120))
    weave = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    wd = ImageDraw.Draw(weave)
    for x in range(-h, w, 9):
        wd.line([(x, 0), (x + h, h)], fill=(255, 255, 255, 7))
    panel = Image.alpha_composite(panel, weave)
    panel.putalpha(rounded_mask((w, h), body, 22))
    canvas = Image.alpha_composite(canvas, panel)

    d = ImageDraw.Draw(canvas)
    # Gold double rim of the panel.
    d.rounded_rectangle(body, radius=22, outline=GOLD_DARK + (255,), width=3)
    d.rounded_rectangle((body[0] + 6, body[1] + 6, body[2] - 6, body[3] - 6), radius=17,
                        outline=GOLD + (110,), width=1)
    # Header band with its gold underline.
    d.line([(body[0] + 24, 186), (body[2] - 24, 186)], fill=GOLD_DARK + (255,), width=1)
    d.line([(body[0] + 24, 188), (body[2] - 24, 188)], fill=(0, 0, 0, 160), width=1)
    for x in (body[0] + 24, body[2] - 24):
        d.regular_polygon((x, 187, 5), 4, fill=GOLD + (255,))

    # Crest breaking out of the panel's top-left corner, then the title.
    crest = emblem(176)
    halo = radial_glow((w, h), (292, 148), 120, GOLD_LIGHT, 70)
    canvas = Image.alpha_composite(canvas, halo)
    canvas.alpha_composite(crest, (204, 60))
    d = ImageDraw.Draw(canvas)
    title = font("DejaVuSerif-Bold.ttf", 44)
    shadow = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    ImageDraw.Draw(shadow).text((398, 126), "VELMORA", font=title, fill=(0, 0, 0, 230))
    canvas = Image.alpha_composite(canvas, shadow.filter(ImageFilter.GaussianBlur(4)))
    d = ImageDraw.Draw(canvas)
    d.text((396, 122), "VELMORA", font=title, fill=GOLD_LIGHT + (255,))
    d.text((400, 174 - 8), "ORVIK GAMES  ·  MICRO CLIENT", font=font("DejaVuSans.ttf", 12),
           fill=(150, 190, 196, 255))

    # Left column: a short list of what the client does, under ornaments.
    col = font("DejaVuSans.ttf", 15)
    colb = font("DejaVuSans-Bold.ttf", 16)
    y = 262
    for head, line in (("FAST START", "Resources cached on disk"),
                       ("ALWAYS CURRENT", "Updates itself on launch"),
                       ("ONE CLICK", "Shortcut on your desktop")):
        d.regular_polygon((214, y + 10, 7), 4, rotation=45, fill=GOLD + (255,))
        d.text((232, y), head, font=colb, fill=(232, 222, 196, 255))
        d.text((232, y + 24), line, font=col, fill=(140, 170, 178, 255))
        y += 78
    d.line([(206, 500), (430, 500)], fill=GOLD_DARK + (200,), width=1)
    d.text((206, 516), "Season IV", font=font("DejaVuSerif-Italic.ttf", 20), fill=GOLD + (255,))
    d.text((206, 546), "The Ember Tides", font=font("DejaVuSerif-Bold.ttf", 24), fill=(236, 230, 214, 255))
    d.text((206, 584), "Server list opens daily 10:00", font=font("DejaVuSans.ttf", 13),
           fill=(120, 150, 160, 255))

    # Frame of the login page: a dark well with a bevelled gold border
    # just outside the page's rectangle.
    fx, fy, fw, fh = PAGE_FRAME
    well = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    ImageDraw.Draw(well).rectangle((fx - 14, fy - 14, fx + fw + 14, fy + fh + 14), fill=(0, 0, 0, 200))
    canvas = Image.alpha_composite(canvas, well.filter(ImageFilter.GaussianBlur(10)))
    d = ImageDraw.Draw(canvas)
    d.rectangle((fx - 5, fy - 5, fx + fw + 4, fy + fh + 4), outline=GOLD_DARK + (255,), width=2)
    d.rectangle((fx - 3, fy - 3, fx + fw + 2, fy + fh + 2), outline=GOLD + (255,), width=1)
    d.rectangle((fx - 2, fy - 2, fx + fw + 1, fy + fh + 1), outline=(0, 0, 0, 255), width=2)
    inner = vertical_gradient((fw, fh), (16, 24, 34), (10, 14, 22)).convert("RGBA")
    grid = Image.new("RGBA", (fw, fh), (0, 0, 0, 0))
    gd = ImageDraw.Draw(grid)
    for gx in range(0, fw, 24):
        gd.line([(gx, 0), (gx, fh)], fill=(120, 170, 190, 14))
    for gy in range(0, fh, 24):
        gd.line([(0, gy), (fw, gy)], fill=(120, 170, 190, 14))
    inner = Image.alpha_composite(inner, grid)
    idr = ImageDraw.Draw(inner)
    text_centered(idr, (0, fh // 2 - 40, fw, fh // 2 + 10), "VELMORA", font("DejaVuSerif-Bold.ttf", 40),
                  (60, 84, 96, 255))
    text_centered(idr, (0, fh // 2 + 14, fw, fh // 2 + 40), "Connecting to the Orvik platform ...",
                  font("DejaVuSans.ttf", 14), (90, 120, 130, 255))
    canvas.paste(inner, (fx, fy))
    d = ImageDraw.Draw(canvas)
    # Corner studs on the frame.
    for cx, cy in ((fx - 4, fy - 4), (fx + fw + 3, fy - 4), (fx - 4, fy + fh + 3), (fx + fw + 3, fy + fh + 3)):
        d.regular_polygon((cx, cy, 7), 4, rotation=45, fill=GOLD + (255,), outline=GOLD_DARK + (255,))

    # Plate behind the caption buttons: near black, so the buttons' fully
    # transparent corners (drawn black) sit on black.
    px0, py0 = MINIMISE_AT[0] - 8, MINIMISE_AT[1] - 7
    px1, py1 = CLOSE_AT[0] + 31 + 8, CLOSE_AT[1] + 31 + 7
    d.rounded_rectangle((px0, py0, px1, py1), radius=12, fill=(0, 0, 0, 255), outline=GOLD_DARK + (255,), width=1)

    # Footer.
    d.text((466, 628), "© Orvik Games  ·  Velmora micro client  ·  Age 12+  ·  Play in moderation",
           font=font("DejaVuSans.ttf", 11), fill=(96, 118, 128, 255))

    # Embers drifting up from the lower left, partly outside the panel.
    sparks = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    sd = ImageDraw.Draw(sparks)
    seed = 7
    for _ in range(70):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        x = 120 + seed % 420
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        y = 430 + seed % 260
        r = 1 + seed % 3
        sd.ellipse((x - r, y - r, x + r, y + r), fill=(255, 170, 90, 120 + seed % 120))
    canvas = Image.alpha_composite(canvas, sparks.filter(ImageFilter.GaussianBlur(0.8)))

    # Final fade: whatever is near the picture's edges goes to alpha 0.
    fade = Image.new("L", (w, h), 0)
    ImageDraw.Draw(fade).rounded_rectangle((56, 34, w - 56, h - 48), radius=80, fill=255)
    fade = fade.filter(ImageFilter.GaussianBlur(16))
    alpha = ImageChops.multiply(canvas.getchannel("A"), fade)
    canvas.putalpha(alpha)
    return canvas


# ---------------------------------------------------------------- buttons

def round_button(glyph, state, danger=False):
    """31 x 31 round caption button of the login window."""
    size = 31
    s = size * SS
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    pad = SS * 1.2
    if state == "normal":
        top, bottom, rim, ink = (44, 54, 68), (18, 22, 30), GOLD_DARK, SILVER
    elif state == "hover":
        top, bottom = ((214, 82, 64), (120, 26, 22)) if danger else ((66, 178, 190), (18, 84, 98))
        rim, ink = GOLD_LIGHT, (255, 255, 255)
    else:
        top, bottom = ((96, 22, 18), (160, 50, 40)) if danger else ((10, 50, 60), (30, 110, 124))
        rim, ink = GOLD, GOLD_LIGHT
    disc = vertical_gradient((s, s), top, bottom).convert("RGBA")
    mask = Image.new("L", (s, s), 0)
    ImageDraw.Draw(mask).ellipse([pad, pad, s - pad, s - pad], fill=255)
    img.paste(disc, (0, 0), mask)
    d.ellipse([pad, pad, s - pad, s - pad], outline=rim + (255,), width=int(SS * 1.6))
    off = SS if state == "pressed" else 0
    c = s / 2 + off
    g = s * 0.2
    lw = int(SS * 2.4)
    if glyph == "close":
        d.line([(c - g, c - g), (c + g, c + g)], fill=ink + (255,), width=lw)
        d.line([(c - g, c + g), (c + g, c - g)], fill=ink + (255,), width=lw)
    else:
        d.line([(c - g, c + g * 0.2), (c + g, c + g * 0.2)], fill=ink + (255,), width=lw)
    return downsample(img, (size, size))


def caption_button(glyph, state, width=30, height=25):
    """Caption button of the game window: a bevelled tab with a glyph."""
    s = SS
    W, H = width * s, height * s
    img = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    if state == "normal":
        top, bottom, ink, rim = (40, 48, 62), (16, 20, 28), SILVER, GOLD_DARK
    elif state == "hover":
        top, bottom, rim = ((200, 70, 56), (110, 24, 20), GOLD_LIGHT) if glyph == "close" else \
            ((60, 168, 180), (18, 80, 92), GOLD_LIGHT)
        ink = (255, 255, 255)
    else:
        top, bottom, ink, rim = (8, 40, 48), (26, 96, 108), GOLD_LIGHT, GOLD
        if glyph == "close":
            top, bottom = (90, 20, 16), (150, 46, 36)
    body = vertical_gradient((W, H), top, bottom).convert("RGBA")
    mask = Image.new("L", (W, H), 0)
    ImageDraw.Draw(mask).rounded_rectangle((s, s, W - s, H - s), radius=5 * s, fill=255)
    img.paste(body, (0, 0), mask)
    d.rounded_rectangle((s, s, W - s, H - s), radius=5 * s, outline=rim + (255,), width=s)
    off = s if state == "pressed" else 0
    cx, cy = W / 2 + off, H / 2 + off
    g = 5 * s
    lw = int(1.8 * s)
    fill = ink + (255,)
    if glyph == "close":
        d.line([(cx - g, cy - g), (cx + g, cy + g)], fill=fill, width=lw)
        d.line([(cx - g, cy + g), (cx + g, cy - g)], fill=fill, width=lw)
    elif glyph == "maximise":
        d.rectangle((cx - g, cy - g + s, cx + g, cy + g), outline=fill, width=lw)
        d.line([(cx - g, cy - g + 2 * s), (cx + g, cy - g + 2 * s)], fill=fill, width=lw)
    elif glyph == "restore":
        d.rectangle((cx - g + 2 * s, cy - g, cx + g, cy + g - 3 * s), outline=fill, width=lw)
        d.rectangle((cx - g, cy - g + 3 * s, cx + g - 2 * s, cy + g), outline=fill, width=lw)
    elif glyph == "minimise":
        d.line([(cx - g, cy + g * 0.6), (cx + g, cy + g * 0.6)], fill=fill, width=lw)
    elif glyph == "tray":
        d.line([(cx, cy - g), (cx, cy + g * 0.4)], fill=fill, width=lw)
        d.polygon([(cx - g * 0.6, cy), (cx + g * 0.6, cy), (cx, cy + g * 0.7)], fill=fill)
        d.line([(cx - g, cy + g), (cx + g, cy + g)], fill=fill, width=lw)
    elif glyph == "menu":
        for k in (-1, 0, 1):
            d.line([(cx - g, cy + k * 3.4 * s), (cx + g, cy + k * 3.4 * s)], fill=fill, width=lw)
    return downsample(img, (width, height))


def link_button(label, state):
    """161 x 34 opaque site-link button: an engraved gold-edged plate."""
    w, h = 161, 34
    W, H = w * SS, h * SS
    if state == "normal":
        top, bottom, ink, rim = (34, 42, 56), (14, 18, 26), (226, 212, 178), GOLD_DARK
    elif state == "hover":
        top, bottom, ink, rim = (58, 150, 162), (16, 70, 82), (255, 255, 255), GOLD_LIGHT
    else:
        top, bottom, ink, rim = (10, 40, 48), (26, 96, 108), GOLD_LIGHT, GOLD
    img = Image.new("RGB", (W, H), INK)
    body = vertical_gradient((W, H), top, bottom)
    mask = Image.new("L", (W, H), 0)
    ImageDraw.Draw(mask).rounded_rectangle((SS, SS, W - SS, H - SS), radius=7 * SS, fill=255)
    img.paste(body, (0, 0), mask)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((SS, SS, W - SS, H - SS), radius=7 * SS, outline=rim, width=int(1.5 * SS))
    off = SS if state == "pressed" else 0
    text_centered(d, (off, off, W + off, H + off), label, font("DejaVuSans-Bold.ttf", 13 * SS), ink)
    return downsample(img, (w, h))


def caption_strip(size):
    """Opaque caption strip of the game window; stretched horizontally, so it
    only varies from top to bottom."""
    w, h = size
    img = vertical_gradient((w, h), (30, 38, 52), (10, 13, 20))
    d = ImageDraw.Draw(img)
    d.line([(0, 0), (w, 0)], fill=(70, 84, 100))
    d.line([(0, h - 2), (w, h - 2)], fill=GOLD_DARK)
    d.line([(0, h - 1), (w, h - 1)], fill=(0, 0, 0))
    return img


def splash_panel(size):
    """Opaque 568 x 258 panel: the crest on the enamel with the title."""
    w, h = size
    img = vertical_gradient((w, h), NIGHT, NIGHT_LOW).convert("RGBA")
    img = Image.alpha_composite(img, radial_glow((w, h), (130, 129), 170, TEAL_DEEP, 220))
    img.alpha_composite(emblem(150), (54, 54))
    d = ImageDraw.Draw(img)
    d.text((226, 78), "VELMORA", font=font("DejaVuSerif-Bold.ttf", 46), fill=GOLD_LIGHT + (255,))
    d.text((230, 140), "The Ember Tides", font=font("DejaVuSerif-Italic.ttf", 22), fill=(214, 220, 226, 255))
    d.rectangle((0, 0, w - 1, h - 1), outline=GOLD_DARK + (255,), width=2)
    return img.convert("RGB")


def badge(label, colour):
    """50 x 37 ribbon badge with a soft shadow."""
    w, h = 50, 37
    W, H = w * SS, h * SS
    img = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    shadow = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    ImageDraw.Draw(shadow).rounded_rectangle((3 * SS, 5 * SS, W - 2 * SS, H - 3 * SS), radius=6 * SS,
                                             fill=(0, 0, 0, 150))
    img = Image.alpha_composite(img, shadow.filter(ImageFilter.GaussianBlur(2 * SS)))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((2 * SS, 2 * SS, W - 4 * SS, H - 8 * SS), radius=6 * SS, fill=colour + (255,),
                        outline=GOLD_LIGHT + (255,), width=SS)
    d.polygon([(W / 2 - 6 * SS, H - 9 * SS), (W / 2 + 6 * SS, H - 9 * SS), (W / 2, H - 3 * SS)],
              fill=colour + (255,))
    text_centered(d, (2 * SS, 2 * SS, W - 4 * SS, H - 8 * SS), label, font("DejaVuSans-Bold.ttf", 12 * SS),
                  (255, 255, 255, 255))
    return downsample(img, (w, h))


def one_pixel(alpha):
    img = Image.new("RGBA", (1, 1), (GOLD[0], GOLD[1], GOLD[2], alpha))
    return img


# ---------------------------------------------------------------- the table

def pictures():
    """Yields (id, image) for every skin resource."""
    yield 271, login_background()
    # Hidden "enter the game" button: 1 x 1 pictures.
    yield 272, one_pixel(0)
    yield 273, one_pixel(96)
    yield 274, one_pixel(160)
    for normal, hover, pressed, glyph, danger in ((277, 276, 275, "minimise", False),
                                                  (292, 291, 290, "close", True)):
        yield normal, round_button(glyph, "normal", danger)
        yield hover, round_button(glyph, "hover", danger)
        yield pressed, round_button(glyph, "pressed", danger)
    for normal, hover, pressed, label in ((286, 285, 284, "RECHARGE"), (289, 288, 287, "OFFICIAL SITE"),
                                          (283, 282, 281, "SUPPORT"), (280, 279, 278, "FORUM")):
        yield normal, link_button(label, "normal")
        yield hover, link_button(label, "hover")
        yield pressed, link_button(label, "pressed")
    for normal, hover, pressed, glyph, width in ((295, 294, 293, "close", 34), (308, 307, 306, "maximise", 30),
                                                 (314, 313, 312, "minimise", 30), (300, 299, 298, "tray", 30),
                                                 (311, 310, 309, "menu", 30), (305, 304, 303, "restore", 30)):
        yield normal, caption_button(glyph, "normal", width)
        yield hover, caption_button(glyph, "hover", width)
        yield pressed, caption_button(glyph, "pressed", width)
    yield 301, emblem(16)
    yield 297, caption_strip((568, 31))
    yield 296, splash_panel((568, 258))
    yield 302, badge("NEW", EMBER)
    yield 315, badge("HOT", (180, 110, 24))


def has_transparency(img):
    return img.mode == "RGBA" and img.getchannel("A").getextrema()[0] < 255


def main():
    os.makedirs(OUT, exist_ok=True)
    seen = set()
    with tempfile.TemporaryDirectory() as tmp:
        for rid, img in pictures():
            seen.add(rid)
            if img.mode == "RGBA" and not has_transparency(img):
                sys.exit("picture %d has an alpha channel but no transparent pixel" % rid)
            png = os.path.join(tmp, "%d.png" % rid)
            img.save(png)
            args = ["cwebp", "-quiet", "-q", "92", "-m", "6", "-sharp_yuv"]
            if img.mode == "RGBA":
                args += ["-alpha_q", "100", "-exact"]
            subprocess.run(args + [png, "-o", os.path.join(OUT, "%d.webp" % rid)], check=True)
    missing = sorted(set(range(271, 316)) - seen)
    if missing:
        sys.exit("pictures missing: %s" % missing)
    print("wrote %d pictures to %s" % (len(seen), os.path.normpath(OUT)))


if __name__ == "__main__":
    main()
