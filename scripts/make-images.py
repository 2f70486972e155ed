#!/usr/bin/env python3
"""Draws the status pictures of the web page as small GIF files, with no library beyond Python.

  scripts/make-images.py [WEB_ROOT]     (default share/HTML)

Writes Quillon/images/sensors/*.gif (state pictures of every device type the decoders set) and
Quillon/images/temperatures/-59.gif ... 169.gif, cold.gif, hot.gif. The output is the same on
every run, so the committed files only change when this script does.
"""
import os
import struct
import sys

# 3x5 pixel font: each glyph is five rows of three bits.
FONT = {
    '0': "111101101101111", '1': "010110010010111", '2': "111001111100111", '3': "111001111001111",
    '4': "101101111001001", '5': "111100111001111", '6': "111100111101111", '7': "111001010010010",
    '8': "111101111101111", '9': "111101111001111", '-': "000000111000000", '+': "000010111010000",
    '!': "010010010000010", 'A': "010101111101101", 'B': "110101110101110", 'C': "011100100100011",
    'D': "110101101101110", 'E': "111100110100111", 'F': "111100110100100", 'G': "011100101101011",
    'H': "101101111101101", 'I': "111010010010111", 'K': "101101110101101", 'L': "100100100100111",
    'M': "101111111101101", 'N': "110101101101101", 'O': "010101101101010", 'P': "110101110100100",
    'R': "110101110101101", 'S': "011100010001110", 'T': "111010010010010", 'U': "101101101101111",
    'V': "101101101101010", 'W': "101101111111101", 'Y': "101101010010010", '%': "101001010100101",
}

TRANSPARENT, WHITE, BLACK, DARK, GREY, GREEN, DKGREEN, RED, ORANGE, YELLOW, BLUE, CYAN, PURPLE, BROWN, TINT = range(15)
BASE_PALETTE = [(0, 0, 0), (255, 255, 255), (0, 0, 0), (90, 90, 90), (175, 175, 175), (46, 170, 60), (20, 100, 30),
                (210, 40, 40), (240, 140, 20), (245, 210, 40), (40, 90, 200), (40, 180, 210), (130, 70, 180),
                (140, 90, 40), (0, 0, 0), (0, 0, 0)]


class Picture:
    def __init__(self, width, height, tint=(0, 0, 0)):
        self.w, self.h = width, height
        self.px = [TRANSPARENT] * (width * height)
        self.palette = list(BASE_PALETTE)
        self.palette[TINT] = tint

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def disc(self, cx, cy, r, c, ring=None):
        for y in range(self.h):
            for x in range(self.w):
                d = (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2
                if d <= r * r:
                    self.set(x, y, ring if ring is not None and d > (r - 1.3) ** 2 else c)

    def text(self, s, x, y, c, scale=1):
        for ch in s:
            glyph = FONT.get(ch.upper())
            if glyph:
                for i, bit in enumerate(glyph):
                    if bit == '1':
                        gx, gy = i % 3, i // 3
                        self.rect(x + gx * scale, y + gy * scale, x + gx * scale + scale - 1, y + gy * scale + scale - 1, c)
            x += 4 * scale

    def gif(self):
        out = bytearray(b"GIF89a")
        out += struct.pack("<HHBBB", self.w, self.h, 0xF3, 0, 0)  # global table of 16 colours
        for r, g, b in self.palette:
            out += bytes((r, g, b))
        out += b"\x21\xF9\x04\x01\x00\x00" + bytes((TRANSPARENT,)) + b"\x00"  # index 0 is transparent
        out += b"\x2C" + struct.pack("<HHHHB", 0, 0, self.w, self.h, 0)
        out += bytes((4,)) + sub_blocks(lzw(self.px)) + b"\x00\x3B"
        return bytes(out)


def lzw(pixels):
    """Literal codes only, 5 bits wide: a clear code every 12 pixels keeps the table from growing."""
    clear, end = 16, 17
    codes = []
    for i, p in enumerate(pixels):
        if i % 12 == 0:
            codes.append(clear)
        codes.append(p)
    codes.append(end)
    data, acc, bits = bytearray(), 0, 0
    for c in codes:
        acc |= c << bits
        bits += 5
        while bits >= 8:
            data.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        data.append(acc & 0xFF)
    return bytes(data)


def sub_blocks(data):
    return b"".join(bytes((len(data[i:i + 255]),)) + data[i:i + 255] for i in range(0, len(data), 255))


def lamp(on):
    p = Picture(16, 16)
    p.disc(8, 8, 7, GREEN if on else GREY, ring=DKGREEN if on else DARK)
    if on:
        p.disc(6, 6, 2, WHITE)
    return p


def motion(on):
    p = Picture(16, 16)
    c = ORANGE if on else GREY
    p.disc(8, 3, 2, c)
    p.rect(7, 5, 9, 10, c)
    p.rect(5, 6, 6, 7, c)
    p.rect(10, 6, 11, 7, c)
    p.rect(6, 11, 7, 15, c)
    p.rect(9, 11, 10, 15, c)
    if on:
        for y in (4, 8, 12):
            p.set(1, y, ORANGE)
            p.set(14, y, ORANGE)
    return p


def battery(ok):
    p = Picture(16, 16)
    p.rect(1, 4, 13, 12, DARK)
    p.rect(14, 6, 15, 10, DARK)
    p.rect(2, 5, 12, 11, WHITE)
    p.rect(3, 6, 11 if ok else 4, 10, GREEN if ok else RED)
    return p


def tamper(ok):
    p = Picture(16, 16)
    c = GREEN if ok else RED
    for y in range(1, 15):
        half = 6 if y < 9 else max(0, 6 - (y - 8))
        p.rect(8 - half, y, 7 + half, y, c)
    p.text("OK" if ok else "!", 4 if ok else 6, 5, WHITE)
    return p


def badge(label, colour):
    """A rounded tile with up to three letters, for types and states without a picture of their own."""
    p = Picture(16, 16)
    p.rect(1, 0, 14, 15, colour)
    p.rect(0, 1, 15, 14, colour)
    label = label[:3]
    p.text(label, (16 - (len(label) * 4 - 1)) // 2, 6, WHITE)
    return p


def temperature(t):
    p = Picture(28, 14, tint=tint_of(t))
    p.rect(1, 0, 26, 13, TINT)
    p.rect(0, 1, 27, 12, TINT)
    label = str(t) if isinstance(t, int) else t
    p.text(label, (28 - (len(label) * 8 - 2)) // 2, 2, WHITE, scale=2)
    return p


def tint_of(t):
    """Blue below freezing, through green, to red for heat."""
    if not isinstance(t, int):
        return (30, 60, 160) if t == "LO" else (170, 20, 20)
    stops = [(-60, (30, 60, 160)), (0, (40, 130, 210)), (15, (40, 150, 90)), (25, (200, 150, 20)),
             (40, (200, 60, 20)), (170, (140, 10, 10))]
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t0 <= t <= t1:
            f = (t - t0) / (t1 - t0)
            return tuple(round(a + (b - a) * f) for a, b in zip(c0, c1))
    return stops[-1][1]


# Types the decoders give a device, with the letters and colour of their picture.
TYPES = {
    "Humidity": ("RH", CYAN), "Barometer": ("BAR", PURPLE), "Baro": ("BAR", PURPLE), "BatteryLevel": ("BAT", GREEN),
    "BatteryStatus": ("BAT", GREEN), "Forecast": ("FC", BLUE), "WindCompass": ("WND", BLUE),
    "WindDirection": ("DIR", BLUE), "WindGust": ("GST", BLUE), "WindSpeed": ("SPD", BLUE), "Wind": ("WND", BLUE),
    "RainRate": ("RR", BLUE), "RainToday": ("RN", BLUE), "RainTotal": ("RT", BLUE), "Rain": ("RN", BLUE),
    "Flip": ("FLP", BROWN), "Dimmer": ("DIM", YELLOW), "Keyfob": ("KEY", PURPLE),
    "Scale": ("KG", BROWN), "UV": ("UV", ORANGE), "Watt": ("W", ORANGE), "Security": ("SEC", RED),
    "DoorSwitch": ("DR", BROWN), "Temperature": ("T", RED), "Status": ("ST", PURPLE), "Power": ("PWR", ORANGE),
}

# "Status" devices show a picture named after their state text ("ON" and "OFF" are on.gif and
# off.gif: the server finds file names without regard to letter case).
STATES = {
    "Arm_Away": ("AA", RED), "Arm_Home": ("AH", ORANGE),
    "Disarm": ("DA", GREEN), "Panic": ("!!", RED), "Lights_On": ("L+", YELLOW), "Lights_Off": ("L-", DARK),
    "Heating_without_setpoint": ("H", ORANGE), "Heating_on": ("H+", RED), "Heating_off": ("H-", DARK),
    "Heating_initializing": ("H", GREY), "Cooling_without_setpoint": ("C", CYAN), "Cooling_on": ("C+", BLUE),
    "Cooling_off": ("C-", DARK), "Cooling_initializing": ("C", GREY),
}


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "share", "HTML")
    sensors = os.path.join(root, "Quillon", "images", "sensors")
    temps = os.path.join(root, "Quillon", "images", "temperatures")
    os.makedirs(sensors, exist_ok=True)
    os.makedirs(temps, exist_ok=True)
    pictures = {
        "on": lamp(True), "off": lamp(False), "motion-on": motion(True), "motion-off": motion(False),
        "battery-ok": battery(True), "battery-replace": battery(False), "Tamper-ok": tamper(True),
        "Tamper-tamper": tamper(False), "blank1": Picture(16, 16),
    }
    for name, (label, colour) in TYPES.items():
        pictures[name + "-on"] = badge(label, colour)
        pictures[name + "-off"] = badge(label, DARK)
    for name, (label, colour) in STATES.items():
        pictures.setdefault(name, badge(label, colour))
    for name, p in pictures.items():
        with open(os.path.join(sensors, name + ".gif"), "wb") as f:
            f.write(p.gif())
    for t in list(range(-59, 170)) + ["cold", "hot"]:
        p = temperature(t if isinstance(t, int) else ("LO" if t == "cold" else "HI"))
        with open(os.path.join(temps, str(t) + ".gif"), "wb") as f:
            f.write(p.gif())
    print(f"{len(pictures)} sensor pictures and 231 temperature pictures in {root}")


if __name__ == "__main__":
    main()
