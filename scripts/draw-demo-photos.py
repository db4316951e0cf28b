#!/usr/bin/python3
# Draws the demo photos in examples/demo-bilder/: eight scenes of flats
# (facade, living room, kitchen, bathroom, balcony, bedroom, floor plan,
# street), 1600 x 1067, JPEG.
#
# The pictures are Kaviro's own drawings, made by this script; they and the
# script are free to use for any purpose (CC0 1.0, public domain dedication).
#
# Needs Debian's python3-pil and fonts-dejavu-core. The output depends only on
# this script (a fixed seed), so the committed files change only when it does.
# Usage: scripts/draw-demo-photos.py [FOLDER]
import io
import math
import os
import random
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

WIDTH, HEIGHT = 1600, 1067
# Drawn at twice the size and scaled down, which smooths every edge.
SCALE = 2
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
MAX_BYTES = 100 * 1024


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def shade(color, factor):
    return tuple(max(0, min(255, round(c * factor))) for c in color)


class Canvas:
    """Drawing in the final image's coordinates on the larger one."""

    def __init__(self, background=(255, 255, 255), seed=0):
        self.image = Image.new("RGB", (WIDTH * SCALE, HEIGHT * SCALE), background)
        self.draw = ImageDraw.Draw(self.image)
        self.random = random.Random(seed)

    @staticmethod
    def _box(x0, y0, x1, y1):
        return [x0 * SCALE, y0 * SCALE, x1 * SCALE, y1 * SCALE]

    def rect(self, x0, y0, x1, y1, fill, outline=None, width=0, radius=0):
        box = self._box(x0, y0, x1, y1)
        if radius:
            self.draw.rounded_rectangle(box, radius * SCALE, fill=fill, outline=outline, width=width * SCALE)
        else:
            self.draw.rectangle(box, fill=fill, outline=outline, width=width * SCALE)

    def ellipse(self, x0, y0, x1, y1, fill, outline=None, width=0):
        self.draw.ellipse(self._box(x0, y0, x1, y1), fill=fill, outline=outline, width=width * SCALE)

    def circle(self, x, y, r, fill):
        self.ellipse(x - r, y - r, x + r, y + r, fill)

    def polygon(self, points, fill, outline=None):
        self.draw.polygon([(x * SCALE, y * SCALE) for x, y in points], fill=fill, outline=outline)

    def line(self, points, fill, width=1):
        self.draw.line([(x * SCALE, y * SCALE) for x, y in points], fill=fill, width=round(width * SCALE))

    def arc(self, x0, y0, x1, y1, start, end, fill, width=1):
        self.draw.arc(self._box(x0, y0, x1, y1), start, end, fill=fill, width=round(width * SCALE))

    def gradient(self, x0, y0, x1, y1, top, bottom):
        for y in range(y0 * SCALE, y1 * SCALE):
            t = (y - y0 * SCALE) / max(1, (y1 - y0) * SCALE - 1)
            self.draw.line([(x0 * SCALE, y), (x1 * SCALE - 1, y)], fill=mix(top, bottom, t))

    def text(self, x, y, text, size, fill, bold=False, anchor="mm"):
        font = ImageFont.truetype(FONT_BOLD if bold else FONT, size * SCALE)
        self.draw.text((x * SCALE, y * SCALE), text, font=font, fill=fill, anchor=anchor)

    def soft_shadow(self, x0, y0, x1, y1, strength=60, blur=18):
        """A blurred dark patch under furniture, painted before it."""
        pad = blur * 3
        w, h = (x1 - x0 + 2 * pad) * SCALE, (y1 - y0 + 2 * pad) * SCALE
        mask = Image.new("L", (w, h), 0)
        ImageDraw.Draw(mask).ellipse([pad * SCALE, pad * SCALE, w - pad * SCALE, h - pad * SCALE], fill=strength)
        mask = mask.filter(ImageFilter.GaussianBlur(blur * SCALE))
        self.image.paste((0, 0, 0), ((x0 - pad) * SCALE, (y0 - pad) * SCALE), mask)

    def glow(self, x, y, r, color, strength=110):
        size = 2 * r * SCALE
        mask = Image.new("L", (size, size), 0)
        ImageDraw.Draw(mask).ellipse([size // 4, size // 4, size * 3 // 4, size * 3 // 4], fill=strength)
        mask = mask.filter(ImageFilter.GaussianBlur(r * SCALE // 4))
        self.image.paste(color, ((x - r) * SCALE, (y - r) * SCALE), mask)

    def save(self, path):
        """As JPEG of the best quality that stays within MAX_BYTES."""
        final = self.image.resize((WIDTH, HEIGHT), Image.LANCZOS)
        for quality in range(82, 50, -4):
            data = io.BytesIO()
            final.save(data, "JPEG", quality=quality, optimize=True, progressive=True)
            if data.tell() <= MAX_BYTES:
                break
        with open(path, "wb") as out:
            out.write(data.getvalue())


# Building blocks shared by the scenes.

def sky(c, bottom=HEIGHT, clouds=3):
    c.gradient(0, 0, WIDTH, bottom, (118, 170, 222), (214, 232, 246))
    for _ in range(clouds):
        x, y = c.random.randint(80, WIDTH - 300), c.random.randint(50, max(60, bottom // 3))
        for _ in range(6):
            dx, dy, r = c.random.randint(0, 220), c.random.randint(-20, 20), c.random.randint(35, 70)
            c.ellipse(x + dx - r, y + dy - r * 0.6, x + dx + r, y + dy + r * 0.6, (250, 251, 253))


def tree(c, x, ground, height, spread, greens=((86, 140, 72), (64, 118, 60), (110, 160, 84))):
    c.rect(x - spread * 0.07, ground - height * 0.45, x + spread * 0.07, ground, (104, 78, 58))
    for _ in range(26):
        angle = c.random.uniform(0, 2 * math.pi)
        dist = c.random.uniform(0, spread * 0.45)
        cx = x + math.cos(angle) * dist
        cy = ground - height * 0.62 + math.sin(angle) * dist * 0.8
        r = c.random.uniform(spread * 0.18, spread * 0.3)
        c.circle(cx, cy, r, c.random.choice(greens))


def window(c, x0, y0, x1, y1, frame=(246, 244, 238), glass_top=(150, 186, 214), glass_bottom=(206, 224, 236),
           bars=True, sill=True):
    border = max(6, (x1 - x0) // 14)
    c.rect(x0, y0, x1, y1, frame)
    c.gradient(round(x0 + border), round(y0 + border), round(x1 - border), round(y1 - border), glass_top, glass_bottom)
    # A light reflection across the glass.
    c.polygon([(x0 + border, y1 - border - (y1 - y0) * 0.35), (x0 + border + (x1 - x0) * 0.35, y0 + border),
               (x0 + border + (x1 - x0) * 0.5, y0 + border), (x0 + border, y1 - border - (y1 - y0) * 0.1)],
              mix(glass_top, (255, 255, 255), 0.35))
    if bars:
        mid = (x0 + x1) / 2
        c.rect(mid - border / 2, y0, mid + border / 2, y1, frame)
        c.rect(x0, y0 + (y1 - y0) * 0.32, x1, y0 + (y1 - y0) * 0.32 + border * 0.8, frame)
    if sill:
        c.rect(x0 - border, y1, x1 + border, y1 + border * 1.2, shade(frame, 0.86))


def plant(c, x, ground, size, pot=(196, 108, 74), leaves=((72, 132, 78), (94, 154, 90), (56, 112, 66))):
    for _ in range(14):
        angle = c.random.uniform(-2.6, -0.5)
        length = c.random.uniform(size * 0.5, size)
        tip = (x + math.cos(angle) * length, ground - size * 0.45 + math.sin(angle) * length)
        c.line([(x, ground - size * 0.4), tip], (70, 100, 60), 3)
        c.ellipse(tip[0] - size * 0.16, tip[1] - size * 0.1, tip[0] + size * 0.16, tip[1] + size * 0.1,
                  c.random.choice(leaves))
    c.polygon([(x - size * 0.3, ground - size * 0.45), (x + size * 0.3, ground - size * 0.45),
               (x + size * 0.22, ground), (x - size * 0.22, ground)], pot)
    c.rect(x - size * 0.33, ground - size * 0.5, x + size * 0.33, ground - size * 0.42, shade(pot, 0.85))


def wood_floor(c, top, base=(186, 140, 98), vanishing=(WIDTH / 2, -900)):
    c.rect(0, top, WIDTH, HEIGHT, base)
    for i in range(-12, 13):
        x_bottom = WIDTH / 2 + i * 150
        x_top = vanishing[0] + (x_bottom - vanishing[0]) * (top - vanishing[1]) / (HEIGHT - vanishing[1])
        c.line([(x_top, top), (x_bottom, HEIGHT)], shade(base, 0.82), 2)
    for _ in range(40):
        y = c.random.randint(top + 10, HEIGHT)
        x = c.random.randint(0, WIDTH)
        c.line([(x, y), (x + c.random.randint(20, 90), y)], shade(base, c.random.uniform(0.88, 1.08)), 2)


def baseboard(c, y, color=(244, 241, 234)):
    c.rect(0, y - 16, WIDTH, y, color)
    c.line([(0, y - 16), (WIDTH, y - 16)], shade(color, 0.85), 2)


def picture(c, x0, y0, x1, y1, colors):
    c.soft_shadow(x0, y0 + 8, x1, y1 + 8, strength=40, blur=8)
    c.rect(x0, y0, x1, y1, (60, 52, 46))
    c.rect(x0 + 12, y0 + 12, x1 - 12, y1 - 12, (248, 246, 240))
    ix0, iy0, ix1, iy1 = x0 + 34, y0 + 34, x1 - 34, y1 - 34
    c.rect(ix0, iy0, ix1, iy1, colors[0])
    c.circle(ix0 + (ix1 - ix0) * 0.65, iy0 + (iy1 - iy0) * 0.38, (ix1 - ix0) * 0.18, colors[1])
    c.polygon([(ix0, iy1), (ix0 + (ix1 - ix0) * 0.4, iy0 + (iy1 - iy0) * 0.45), (ix1, iy1)], colors[2])


def curtain(c, x0, y0, x1, y1, color):
    c.rect(x0, y0, x1, y1, color)
    folds = 5
    for i in range(1, folds):
        x = x0 + (x1 - x0) * i / folds
        c.line([(x, y0), (x, y1)], shade(color, 0.88), 5)


# The scenes.

def facade(path):
    c = Canvas(seed=1)
    ground = 930
    sky(c, ground, clouds=3)
    # Neighbours on both sides.
    c.rect(0, 250, 230, ground, (214, 190, 150))
    c.rect(1370, 300, WIDTH, ground, (180, 196, 172))
    for x in (40, 140):
        for y in range(300, 860, 150):
            window(c, x, y, x + 60, y + 95, bars=False)
    for x in (1400, 1500):
        for y in range(350, 860, 150):
            window(c, x, y, x + 60, y + 95, bars=False)
    # The house: a roof with dormers over four floors.
    body = (238, 226, 200)
    c.polygon([(220, 250), (1380, 250), (1320, 120), (280, 120)], (92, 96, 110))
    for x in range(360, 1300, 220):
        c.rect(x, 135, x + 110, 235, (238, 232, 220))
        window(c, x + 18, 152, x + 92, 232, sill=False)
        c.polygon([(x - 12, 140), (x + 122, 140), (x + 55, 100)], (82, 86, 100))
    c.rect(230, 250, 1370, ground, body)
    for y in (250, 440, 620, 800):
        c.rect(220, y, 1380, y + 16, shade(body, 0.9))
    for floor, top in enumerate((290, 470, 650)):
        for column in range(6):
            x = 290 + column * 180
            window(c, x, top, x + 100, top + 130)
            c.rect(x - 14, top - 22, x + 114, top - 8, shade(body, 0.88))
            if floor < 2 and column in (1, 4):
                # A small balcony with a flower box.
                c.rect(x - 30, top + 130, x + 130, top + 142, (120, 116, 112))
                for bx in range(int(x - 26), int(x + 130), 12):
                    c.line([(bx, top + 92), (bx, top + 130)], (70, 70, 74), 2)
                c.line([(x - 30, top + 92), (x + 130, top + 92)], (60, 60, 64), 4)
                c.rect(x - 10, top + 80, x + 110, top + 94, (150, 96, 66))
                for fx in range(int(x - 4), int(x + 110), 14):
                    c.circle(fx, top + 78, 7, c.random.choice([(214, 62, 70), (236, 120, 140), (90, 150, 80)]))
    # Ground floor: door in the middle, windows beside it.
    c.rect(230, 820, 1370, ground, shade(body, 0.93))
    c.rect(735, 820, 865, ground, (118, 76, 52), radius=10)
    c.ellipse(735, 770, 865, 870, (118, 76, 52))
    c.rect(750, 840, 796, ground - 10, (132, 88, 60))
    c.rect(804, 840, 850, ground - 10, (132, 88, 60))
    c.circle(795, 885, 5, (214, 180, 90))
    c.rect(720, 800, 880, 810, shade(body, 0.85))
    for x in (330, 500, 960, 1130):
        window(c, x, 830, x + 110, 905, bars=False, sill=False)
    # Pavement, street and a tree.
    c.rect(0, ground, WIDTH, 990, (196, 192, 186))
    for x in range(0, WIDTH, 80):
        c.line([(x, ground), (x - 20, 990)], (178, 174, 168), 2)
    c.rect(0, 990, WIDTH, HEIGHT, (96, 98, 104))
    c.rect(0, 990, WIDTH, 998, (150, 148, 144))
    tree(c, 1480, ground + 10, 620, 380)
    c.save(path)


def living_room(path):
    c = Canvas(seed=2)
    wall, floor_top = (236, 226, 210), 760
    c.gradient(0, 0, WIDTH, floor_top, (242, 234, 220), (226, 214, 196))
    wood_floor(c, floor_top)
    baseboard(c, floor_top)
    # A tall window on the left, a tree outside.
    c.rect(110, 130, 540, 700, (250, 248, 244))
    c.gradient(135, 155, 515, 675, (138, 184, 226), (206, 228, 242))
    tree(c, 300, 675, 440, 280)
    c.rect(318, 130, 332, 700, (250, 248, 244))
    c.rect(110, 380, 540, 394, (250, 248, 244))
    c.rect(95, 700, 555, 718, (232, 228, 220))
    curtain(c, 60, 100, 150, 740, (196, 150, 120))
    curtain(c, 500, 100, 590, 740, (196, 150, 120))
    c.rect(50, 88, 600, 100, (120, 100, 84))
    # Pictures above the sofa.
    picture(c, 780, 200, 1000, 400, [(232, 200, 160), (214, 110, 80), (90, 120, 110)])
    picture(c, 1040, 240, 1200, 400, [(180, 200, 214), (246, 220, 140), (70, 96, 130)])
    # Rug, sofa, table.
    c.polygon([(640, 860), (1480, 860), (1580, 1040), (540, 1040)], (204, 186, 164))
    c.polygon([(670, 875), (1450, 875), (1540, 1025), (570, 1025)], (222, 206, 186))
    c.soft_shadow(660, 720, 1440, 800, strength=70)
    sofa = (78, 118, 128)
    c.rect(700, 540, 1400, 720, sofa, radius=30)
    c.rect(650, 600, 760, 780, shade(sofa, 0.9), radius=28)
    c.rect(1340, 600, 1450, 780, shade(sofa, 0.9), radius=28)
    for x in (760, 1050):
        c.rect(x, 650, x + 290, 760, shade(sofa, 1.12), radius=18)
    for x in (680, 1400):
        c.rect(x, 780, x + 20, 810, (90, 64, 44))
    c.rect(800, 570, 930, 680, (232, 180, 72), radius=16)
    c.rect(1180, 575, 1300, 680, (216, 108, 86), radius=16)
    c.soft_shadow(880, 900, 1260, 930, strength=60, blur=10)
    c.ellipse(860, 850, 1280, 910, (140, 100, 70))
    c.ellipse(860, 840, 1280, 900, (168, 124, 88))
    c.rect(1050, 900, 1070, 960, (120, 86, 60))
    c.rect(960, 845, 1060, 860, (70, 110, 150))
    c.rect(1120, 830, 1150, 860, (240, 240, 236), radius=4)
    # A floor lamp and a plant.
    c.line([(1530, 1000), (1530, 330)], (60, 58, 56), 8)
    c.arc(1270, 200, 1530, 460, 180, 360, (60, 58, 56), 8)
    c.glow(1270, 420, 150, (255, 236, 190), 90)
    c.polygon([(1220, 400), (1320, 400), (1300, 330), (1240, 330)], (246, 236, 214))
    c.ellipse(1480, 990, 1580, 1010, (60, 58, 56))
    plant(c, 600, 840, 260)
    c.save(path)


def kitchen(path):
    c = Canvas(seed=3)
    c.rect(0, 0, WIDTH, HEIGHT, (240, 238, 232))
    counter_top, floor_top = 610, 920
    # Tiles between the cabinets.
    c.rect(0, 330, WIDTH, counter_top, (250, 250, 248))
    for y in range(330, counter_top, 36):
        c.line([(0, y), (WIDTH, y)], (214, 216, 216), 2)
        offset = 0 if (y // 36) % 2 else 36
        for x in range(offset, WIDTH, 72):
            c.line([(x, y), (x, y + 36)], (214, 216, 216), 2)
    # A window over the sink.
    window(c, 560, 130, 900, 500, frame=(248, 248, 246))
    plant(c, 620, 520, 90, pot=(236, 236, 232))
    plant(c, 830, 520, 80, pot=(200, 110, 80))
    green = (128, 160, 140)
    for x0, x1 in ((0, 150), (940, 1240)):
        c.rect(x0, 60, x1, 330, green)
        doors = max(1, round((x1 - x0) / 140))
        w = (x1 - x0) / doors
        for i in range(doors):
            x = x0 + i * w
            c.rect(x + 6, 66, x + w - 6, 324, shade(green, 1.06))
            c.rect(x + w / 2 - 10, 290, x + w / 2 + 10, 298, (200, 200, 196))
    # The fridge on the right.
    c.rect(1280, 60, 1560, floor_top, (222, 224, 226))
    c.rect(1290, 70, 1550, 420, (236, 238, 240))
    c.rect(1290, 430, 1550, floor_top - 10, (236, 238, 240))
    c.rect(1300, 180, 1312, 360, (170, 172, 176))
    c.rect(1300, 470, 1312, 650, (170, 172, 176))
    # Counter, cabinets below, stove with hood.
    c.rect(0, counter_top, 1280, counter_top + 32, (196, 152, 106))
    c.rect(0, counter_top + 32, 1280, floor_top, green)
    for x in range(0, 1280, 160):
        c.rect(x + 6, counter_top + 44, x + 154, floor_top - 10, shade(green, 1.06))
        c.rect(x + 60, counter_top + 70, x + 100, counter_top + 78, (200, 200, 196))
    c.rect(160, counter_top + 40, 480, floor_top - 20, (60, 60, 64))
    c.rect(190, counter_top + 110, 450, floor_top - 50, (30, 30, 34), radius=8)
    c.rect(205, counter_top + 125, 300, floor_top - 65, (46, 46, 52), radius=6)
    for x in (200, 440):
        c.ellipse(x - 40, counter_top - 6, x + 40, counter_top + 6, (40, 40, 44))
    c.polygon([(180, 330), (460, 330), (420, 250), (220, 250)], (190, 192, 196))
    c.rect(280, 60, 360, 250, (176, 178, 182))
    # Sink and tap, a bowl of oranges, a pot.
    c.rect(600, counter_top - 4, 860, counter_top + 10, (180, 184, 188))
    c.line([(730, counter_top - 4), (730, 520), (780, 520), (780, 545)], (170, 172, 178), 10)
    c.ellipse(1000, 540, 1160, 612, (236, 236, 232))
    for x, y in ((1040, 560), (1080, 548), (1118, 562), (1062, 530)):
        c.circle(x, y, 26, (236, 140, 40))
    c.rect(150, 520, 250, 600, (170, 60, 50), radius=8)
    c.rect(140, 515, 260, 528, (150, 50, 42), radius=4)
    # The floor.
    c.rect(0, floor_top, WIDTH, HEIGHT, (200, 196, 190))
    for x in range(-200, WIDTH + 200, 110):
        c.line([(x, floor_top), (x - 160, HEIGHT)], (184, 180, 174), 2)
    for y in (960, 1020):
        c.line([(0, y), (WIDTH, y)], (184, 180, 174), 2)
    c.save(path)


def bathroom(path):
    c = Canvas(seed=4)
    tile_top, floor_top = 430, 930
    c.rect(0, 0, WIDTH, tile_top, (246, 246, 244))
    c.rect(0, tile_top, WIDTH, floor_top, (196, 224, 224))
    for y in range(tile_top, floor_top, 60):
        c.line([(0, y), (WIDTH, y)], (176, 206, 206), 2)
    for x in range(0, WIDTH, 60):
        c.line([(x, tile_top), (x, floor_top)], (176, 206, 206), 2)
    c.rect(0, floor_top, WIDTH, HEIGHT, (96, 104, 112))
    for x in range(0, WIDTH, 70):
        c.line([(x, floor_top), (x - 40, HEIGHT)], (84, 92, 100), 2)
    # Frosted window.
    c.rect(1180, 110, 1420, 340, (250, 250, 250))
    c.rect(1196, 126, 1404, 324, (222, 232, 238))
    c.rect(1293, 110, 1307, 340, (250, 250, 250))
    # Bathtub on the left with a shower rail and a curtain.
    c.soft_shadow(60, 900, 700, 940, strength=60, blur=10)
    c.rect(40, 700, 720, 930, (252, 252, 252), radius=24)
    c.rect(40, 690, 720, 720, (236, 238, 240), radius=10)
    c.line([(40, 120), (720, 120)], (170, 174, 180), 8)
    curtain(c, 40, 126, 240, 660, (236, 150, 128))
    c.line([(600, 690), (600, 420), (650, 400)], (170, 174, 180), 8)
    c.ellipse(630, 380, 690, 420, (190, 194, 200))
    # Washbasin with mirror and lamp.
    c.rect(820, 150, 1100, 500, (206, 214, 220), radius=14)
    c.gradient(834, 164, 1086, 486, (226, 232, 236), (190, 200, 208))
    c.polygon([(860, 470), (960, 180), (1000, 180), (900, 470)], (234, 238, 242))
    c.rect(840, 120, 1080, 136, (230, 230, 226), radius=6)
    c.glow(960, 140, 100, (255, 244, 214), 70)
    c.soft_shadow(800, 650, 1120, 700, strength=40, blur=10)
    c.rect(800, 560, 1120, 640, (252, 252, 252), radius=20)
    c.line([(960, 560), (960, 520), (990, 520)], (170, 174, 180), 8)
    c.rect(930, 640, 990, 700, (236, 236, 236))
    # Toilet and a towel.
    c.soft_shadow(1260, 900, 1460, 935, strength=60, blur=10)
    c.rect(1280, 560, 1450, 720, (250, 250, 250), radius=14)
    c.ellipse(1240, 700, 1470, 790, (252, 252, 252))
    c.polygon([(1290, 760), (1440, 760), (1410, 925), (1320, 925)], (246, 246, 246))
    c.rect(1480, 500, 1560, 512, (170, 174, 180))
    c.rect(1490, 512, 1550, 760, (236, 196, 90))
    c.line([(1490, 720), (1550, 720)], (214, 176, 76), 6)
    plant(c, 1140, 930, 180, pot=(240, 240, 236))
    c.save(path)


def balcony(path):
    c = Canvas(seed=5)
    deck = 860
    sky(c, 700, clouds=4)
    # Roofs of the town.
    for _ in range(22):
        x = c.random.randint(-100, WIDTH)
        w = c.random.randint(140, 260)
        top = c.random.randint(430, 560)
        wall = c.random.choice([(230, 214, 190), (214, 200, 180), (240, 228, 206), (198, 204, 200)])
        c.rect(x, top, x + w, 720, wall)
        c.polygon([(x - 14, top), (x + w + 14, top), (x + w / 2, top - w * 0.42)],
                  c.random.choice([(176, 82, 62), (154, 70, 56), (190, 100, 72)]))
        for wx in range(x + 24, x + w - 30, 56):
            c.rect(wx, top + 30, wx + 26, top + 66, (120, 140, 160))
    for x in (220, 760, 1340):
        tree(c, x, 740, 260, 200)
    # Deck, railing and a flower box on it.
    c.rect(0, 700, WIDTH, deck, (248, 246, 240))
    c.rect(0, deck, WIDTH, HEIGHT, (170, 126, 88))
    for y in range(deck, HEIGHT, 34):
        c.line([(0, y), (WIDTH, y)], (146, 106, 74), 3)
    c.rect(0, 560, WIDTH, 576, (64, 66, 70))
    for x in range(10, WIDTH, 56):
        c.rect(x, 576, x + 8, deck, (72, 74, 78))
    c.rect(0, 690, WIDTH, 700, (64, 66, 70))
    c.rect(260, 510, 760, 562, (150, 96, 66))
    for x in range(280, 760, 26):
        c.line([(x, 520), (x + c.random.randint(-20, 20), 470)], (80, 130, 70), 4)
        c.circle(x + c.random.randint(-14, 14), 470 + c.random.randint(-12, 12), 14,
                 c.random.choice([(220, 60, 80), (240, 140, 170), (250, 200, 70), (214, 80, 120)]))
    # A bistro table with two chairs, pots on the deck.
    c.soft_shadow(940, 1000, 1260, 1040, strength=70, blur=10)
    c.ellipse(960, 790, 1240, 840, (44, 92, 110))
    c.rect(1092, 820, 1108, 1020, (44, 92, 110))
    c.ellipse(1030, 1010, 1170, 1030, (44, 92, 110))
    c.rect(1040, 770, 1080, 810, (250, 250, 250), radius=6)
    for x0, flip in ((820, 1), (1310, -1)):
        c.rect(x0 - 60, 800, x0 + 60, 820, (44, 92, 110))
        c.line([(x0 + 50 * flip, 820), (x0 + 50 * flip, 620)], (44, 92, 110), 10)
        for y in (660, 700, 740):
            c.line([(x0 + 50 * flip, y), (x0 + 20 * flip, y)], (44, 92, 110), 8)
        c.line([(x0 - 50, 820), (x0 + 60, 1040)], (44, 92, 110), 8)
        c.line([(x0 + 50, 820), (x0 - 60, 1040)], (44, 92, 110), 8)
    plant(c, 200, 1040, 320)
    plant(c, 440, 1040, 220, pot=(220, 210, 196))
    plant(c, 1480, 1040, 300)
    c.save(path)


def bedroom(path):
    c = Canvas(seed=6)
    floor_top = 760
    c.gradient(0, 0, WIDTH, floor_top, (206, 216, 222), (190, 202, 210))
    wood_floor(c, floor_top, base=(204, 168, 128))
    baseboard(c, floor_top)
    # A wardrobe on the left, a window on the right.
    c.rect(40, 120, 340, floor_top, (246, 244, 238))
    c.line([(190, 130), (190, floor_top - 10)], (214, 212, 206), 3)
    for x in (176, 204):
        c.rect(x - 3, 400, x + 3, 470, (180, 160, 120))
    c.rect(1240, 140, 1520, 600, (250, 250, 248))
    c.gradient(1260, 160, 1500, 580, (150, 190, 226), (226, 236, 244))
    tree(c, 1400, 580, 340, 200)
    c.rect(1373, 140, 1387, 600, (250, 250, 248))
    curtain(c, 1190, 110, 1270, 700, (236, 226, 206))
    curtain(c, 1490, 110, 1570, 700, (236, 226, 206))
    picture(c, 620, 130, 980, 330, [(226, 214, 196), (214, 150, 120), (120, 150, 160)])
    # The bed.
    c.soft_shadow(420, 900, 1180, 960, strength=70)
    c.rect(430, 380, 1170, 700, (132, 142, 156), radius=36)
    c.rect(410, 660, 1190, 940, (250, 250, 250), radius=18)
    c.rect(410, 740, 1190, 940, (226, 230, 236), radius=18)
    c.rect(410, 740, 1190, 770, (240, 242, 246))
    c.rect(410, 850, 1190, 910, (226, 176, 88))
    for x in (470, 810):
        c.rect(x, 560, x + 320, 690, (252, 252, 252), radius=34)
    c.rect(690, 610, 910, 700, (180, 110, 96), radius=22)
    # Bedside tables with lamps.
    for x in (250, 1200):
        c.rect(x, 640, x + 150, 800, (168, 124, 88), radius=6)
        c.line([(x + 10, 720), (x + 140, 720)], (140, 102, 72), 3)
        c.rect(x + 65, 560, x + 85, 640, (200, 190, 176))
        c.glow(x + 75, 520, 120, (255, 236, 190), 90)
        c.polygon([(x + 25, 560), (x + 125, 560), (x + 105, 480), (x + 45, 480)], (248, 240, 222))
    c.save(path)


def floor_plan(path):
    c = Canvas(background=(250, 248, 242), seed=7)
    for x in range(0, WIDTH, 40):
        c.line([(x, 0), (x, HEIGHT)], (236, 234, 226), 1)
    for y in range(0, HEIGHT, 40):
        c.line([(0, y), (WIDTH, y)], (236, 234, 226), 1)
    wall, thin = (58, 62, 70), (90, 94, 102)
    left, top, right, bottom = 160, 140, 1300, 900
    rooms = {
        "Wohnen": ((160, 140, 760, 560), (246, 234, 214), "28,4 m²"),
        "Küche": ((760, 140, 1060, 420), (226, 236, 220), "10,2 m²"),
        "Schlafen": ((1060, 140, 1300, 560), (224, 232, 242), "14,8 m²"),
        "Flur": ((760, 420, 1060, 900), (238, 236, 232), "9,6 m²"),
        "Bad": ((1060, 560, 1300, 900), (216, 236, 238), "7,1 m²"),
        "Arbeiten": ((160, 560, 760, 900), (240, 228, 232), "16,3 m²"),
    }
    for (x0, y0, x1, y1), fill, _ in rooms.values():
        c.rect(x0, y0, x1, y1, fill)
    # The balcony, hatched, outside the left wall.
    c.rect(40, 200, 160, 500, (236, 232, 222))
    for y in range(140, 500, 24):
        # Hatching clipped to the balcony.
        t0, t1 = max(0, (200 - y) / 60), min(1, (500 - y) / 60)
        c.line([(40 + 120 * t0, y + 60 * t0), (40 + 120 * t1, y + 60 * t1)], (210, 204, 192), 2)
    c.rect(40, 200, 160, 500, None, (140, 140, 140), 3)
    # Furniture outlines.
    furniture = (170, 164, 156)
    c.rect(220, 200, 500, 300, None, furniture, 3)
    c.ellipse(400, 395, 580, 525, None, furniture, 3)
    c.rect(780, 150, 1050, 215, None, furniture, 3)
    c.rect(1110, 160, 1250, 300, None, furniture, 3)
    c.rect(1080, 780, 1290, 890, None, furniture, 3)
    c.ellipse(1230, 600, 1290, 680, None, furniture, 3)
    c.rect(200, 800, 480, 890, None, furniture, 3)
    # Inner walls with their door gaps, then the outer walls.
    inner = [
        [(760, 140), (760, 440)], [(760, 530), (760, 620)], [(760, 710), (760, 900)],
        [(760, 420), (860, 420)], [(950, 420), (1060, 420)],
        [(1060, 140), (1060, 440)], [(1060, 530), (1060, 580)], [(1060, 670), (1060, 900)],
        [(160, 560), (760, 560)], [(1060, 560), (1300, 560)],
    ]
    for points in inner:
        c.line(points, thin, 10)
    c.rect(left, top, right, bottom, None, wall, 18)
    # Doors: the hinge, the leaf closed and open (angles clockwise from east,
    # as the image's y axis points down), the arc it sweeps. The front door
    # is a gap in the outer wall.
    c.rect(860, bottom - 9, 960, bottom + 9, (250, 248, 242))
    for x, y, closed, opened, r in ((760, 440, 90, 180, 90), (760, 710, 270, 180, 90), (860, 420, 0, 270, 90),
                                    (1060, 440, 90, 0, 90), (1060, 670, 270, 0, 90), (960, 900, 180, 270, 100)):
        start, end = sorted((closed, opened))
        if end - start > 180:
            start, end = end, start + 360
        c.arc(x - r, y - r, x + r, y + r, start, end, (150, 150, 150), 2)
        end = math.radians(opened)
        c.line([(x, y), (x + r * math.cos(end), y + r * math.sin(end))], thin, 5)
    # Windows as gaps in the outer wall with two thin glass lines.
    def across(x0, x1, y):
        c.rect(x0, y - 9, x1, y + 9, (250, 248, 242))
        for d in (-3, 3):
            c.line([(x0, y + d), (x1, y + d)], wall, 2)

    def upright(x, y0, y1):
        c.rect(x - 9, y0, x + 9, y1, (250, 248, 242))
        for d in (-3, 3):
            c.line([(x + d, y0), (x + d, y1)], wall, 2)

    for x0, x1 in ((260, 460), (560, 700), (830, 990), (1110, 1250)):
        across(x0, x1, top)
    across(300, 560, bottom)
    upright(left, 240, 460)
    upright(right, 260, 440)
    upright(right, 650, 820)
    for name, ((x0, y0, x1, y1), _, area) in rooms.items():
        cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
        if name == "Flur":
            cy = 640
        c.text(cx, cy - 16, name, 34, (60, 60, 66), bold=True)
        c.text(cx, cy + 24, area, 26, (110, 110, 116))
    c.text(100, 350, "Balkon", 22, (110, 110, 116))
    # Title, scale bar and north arrow.
    c.text(160, 60, "Grundriss 3-Zimmer-Wohnung, 86,4 m²", 34, (60, 60, 66), bold=True, anchor="lm")
    c.line([(160, 980), (460, 980)], wall, 6)
    for x in (160, 310, 460):
        c.line([(x, 968), (x, 992)], wall, 4)
    c.text(310, 1020, "0         2,5         5 m", 22, (90, 90, 96))
    c.polygon([(1450, 130), (1480, 230), (1450, 205), (1420, 230)], wall)
    c.text(1450, 100, "N", 34, wall, bold=True)
    c.save(path)


def street(path):
    c = Canvas(seed=8)
    pavement, road = 820, 900
    sky(c, pavement, clouds=3)
    colors = [(232, 196, 140), (226, 170, 160), (176, 200, 170), (240, 226, 196), (170, 196, 214),
              (222, 184, 132)]
    x = -40
    for i, color in enumerate(colors):
        w = c.random.randint(250, 310)
        top = c.random.randint(230, 330)
        c.rect(x, top, x + w, pavement, color)
        if i % 2:
            c.polygon([(x - 10, top), (x + w + 10, top), (x + w / 2, top - 140)], (160, 74, 58))
            window(c, x + w / 2 - 35, top - 90, x + w / 2 + 35, top - 20, sill=False)
        else:
            c.rect(x - 10, top - 24, x + w + 10, top, shade(color, 0.82))
        for row in range(3):
            for col in range(3):
                wx = x + 30 + col * (w - 60) / 3
                wy = top + 40 + row * 140
                if wy + 100 < pavement - 140:
                    window(c, wx + 10, wy, wx + (w - 60) / 3 - 10, wy + 100)
        door = x + w / 2
        c.rect(door - 40, pavement - 150, door + 40, pavement, shade(color, 0.55), radius=6)
        c.rect(x, pavement - 180, x + w, pavement - 168, shade(color, 0.85))
        x += w
    # Pavement, road with markings, kerb.
    c.rect(0, pavement, WIDTH, road, (200, 196, 190))
    for px in range(0, WIDTH, 70):
        c.line([(px, pavement), (px - 30, road)], (184, 180, 174), 2)
    c.rect(0, road, WIDTH, HEIGHT, (86, 88, 94))
    c.rect(0, road, WIDTH, road + 10, (160, 158, 154))
    for mx in range(40, WIDTH, 200):
        c.rect(mx, 990, mx + 110, 1002, (236, 236, 230))
    for tx in (300, 1000):
        tree(c, tx, pavement + 30, 560, 300)
    # Street lamp and a parked car.
    c.line([(680, pavement + 40), (680, 380)], (52, 56, 60), 10)
    c.line([(680, 390), (740, 370)], (52, 56, 60), 8)
    c.polygon([(720, 372), (780, 372), (770, 394), (730, 394)], (52, 56, 60))
    car = (190, 60, 56)
    c.soft_shadow(1160, 1010, 1540, 1040, strength=80, blur=8)
    c.polygon([(1200, 930), (1260, 870), (1430, 870), (1490, 930)], car)
    c.rect(1150, 925, 1550, 1010, car, radius=26)
    c.polygon([(1225, 925), (1272, 884), (1340, 884), (1340, 925)], (170, 200, 220))
    c.polygon([(1352, 925), (1352, 884), (1420, 884), (1465, 925)], (170, 200, 220))
    for wx in (1240, 1460):
        c.circle(wx, 1010, 40, (36, 36, 40))
        c.circle(wx, 1010, 18, (170, 170, 176))
    c.rect(1530, 950, 1550, 970, (250, 236, 170), radius=4)
    c.save(path)


SCENES = {
    "fassade.jpg": facade,
    "wohnzimmer.jpg": living_room,
    "kueche.jpg": kitchen,
    "bad.jpg": bathroom,
    "balkon.jpg": balcony,
    "schlafzimmer.jpg": bedroom,
    "grundriss.jpg": floor_plan,
    "strasse.jpg": street,
}


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(top, "examples", "demo-bilder")
    os.makedirs(folder, exist_ok=True)
    for name, scene in SCENES.items():
        path = os.path.join(folder, name)
        scene(path)
        print(f"{path}: {os.path.getsize(path) // 1024} KB")


if __name__ == "__main__":
    main()
