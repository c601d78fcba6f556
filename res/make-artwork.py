#!/usr/bin/env python3
"""Draws the program's pictures: with ImageMagick's convert the toolbar strip
(seven 25x25 pictures in button order) and the two wizard pictures; with
rsvg-convert the program icon in six sizes and the tray icon's three looks from
their SVG files. The PNG files are committed; run this after a change."""

import math
import pathlib
import subprocess
import tempfile

HERE = pathlib.Path(__file__).parent


def draw(*commands):
    """convert arguments that draw each command with the current settings."""
    arguments = []
    for command in commands:
        arguments += ["-draw", command]
    return arguments


def monitor(x, y, scale):
    place = f"translate {x},{y} scale {scale},{scale} "
    return (["-stroke", "none", "-fill", "#3c4a5c"] + draw(place + "roundrectangle 1,2 23,18 2,2")
            + ["-fill", "#4aa3df"] + draw(place + "rectangle 3,4 21,15")
            + ["-fill", "#3c4a5c"] + draw(place + "rectangle 10,18 14,21", place + "roundrectangle 6,21 18,23 1,1"))


def convert(*arguments):
    subprocess.run(["convert", *map(str, arguments)], check=True)


def render_svg(source, size, target):
    subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o", str(HERE / target), str(HERE / source)],
                   check=True)


TOOLBAR = [
    # Publish current screen: a monitor sending a picture upwards.
    monitor(0, 0, 1) + ["-fill", "white"]
    + draw("polygon 12,5 16.5,9.5 13.8,9.5 13.8,13.5 10.2,13.5 10.2,9.5 7.5,9.5"),
    # Slideshow: stacked pictures with a play mark.
    ["-stroke", "#3c4a5c", "-strokewidth", "1", "-fill", "#cfe3f3"] + draw("rectangle 8,2 23,13")
    + ["-fill", "#93c3e8"] + draw("rectangle 5,5 20,16")
    + ["-fill", "#4aa3df"] + draw("rectangle 2,8 17,20")
    + ["-stroke", "none", "-fill", "white"] + draw("polygon 7,10.5 7,17.5 13,14"),
    # Show mouse cursor: the red pointer arrow.
    ["-stroke", "#202020", "-strokewidth", "1", "-fill", "#e02020"]
    + draw("polygon 7,2 7,20 11.2,16 14.2,22.5 17,21.2 14,15 19.5,15"),
    # Delete pictures: a waste bin.
    ["-stroke", "none", "-fill", "#7a2020"] + draw("rectangle 10,2 15,4")
    + ["-fill", "#b83232"] + draw("roundrectangle 4,4 21,7 1,1")
    + ["-fill", "#d04a4a"] + draw("polygon 6,8 19,8 17.5,23 7.5,23")
    + ["-stroke", "white", "-strokewidth", "1.2"] + draw("line 10,11 10.5,20", "line 15,11 14.5,20"),
    # Options and settings: a cog wheel.
    ["-stroke", "none", "-fill", "#5a6b7d"] + draw("translate 12.5,12.5 circle 0,0 0,8")
    + draw(*[f"translate 12.5,12.5 rotate {a} rectangle -2.2,-11.5 2.2,-6" for a in range(0, 360, 45)])
    + ["-fill", "white"] + draw("translate 12.5,12.5 circle 0,0 0,3.2"),
    # Exit: an open door with an arrow leading out.
    ["-stroke", "none", "-fill", "#6b4423"] + draw("rectangle 3,2 14,23")
    + ["-fill", "#a0703f"] + draw("polygon 3,2 10,5 10,23 3,23")
    + ["-fill", "#2e8b57"] + draw("polygon 12,10 17,10 17,6.5 23.5,12.5 17,18.5 17,15 12,15"),
    # About: an information sign.
    ["-stroke", "none", "-fill", "#2f6fbf"] + draw("translate 12.5,12.5 circle 0,0 0,11")
    + ["-fill", "white"] + draw("translate 12.5,7 circle 0,0 0,1.8", "roundrectangle 11,10.5 14,19.5 1,1"),
]


def arc(x, y, radius):
    """A quarter circle around (x, y) from nearly straight up to nearly straight right, as short round-capped lines."""
    points = [(x + radius * math.cos(math.radians(a)), y + radius * math.sin(math.radians(a)))
              for a in range(-80, -9, 5)]
    return " ".join(f"stroke-linecap round line {a[0]:.2f},{a[1]:.2f} {b[0]:.2f},{b[1]:.2f}"
                    for a, b in zip(points, points[1:]))


def on_the_air(x, y, radius, width, colour):
    """A red dot with two arcs, the sign of a live picture."""
    return (["-stroke", "none", "-fill", "#e02020"] + draw(f"translate {x},{y} circle 0,0 0,{radius}")
            + ["-stroke", colour, "-strokewidth", str(width), "-fill", "#00000000"]
            + draw(arc(x, y, radius * 2.4), arc(x, y, radius * 3.9)))


with tempfile.TemporaryDirectory() as tmp:
    parts = []
    for index, commands in enumerate(TOOLBAR):
        part = pathlib.Path(tmp) / f"{index}.png"
        convert("-size", "25x25", "xc:none", *commands, f"PNG32:{part}")
        parts.append(part)
    convert(*parts, "+append", "+repage", f"PNG32:{HERE / 'toolbar.png'}")

# The program icon and the tray icon's three looks are drawn as SVG; the PNG sizes are rendered from them.
for size in (16, 32, 48, 64, 128, 256):
    render_svg("lumivanta.svg", size, f"icon-{size}.png")
for size in (16, 32, 64):
    render_svg("tray-idle.svg", size, f"tray-idle-{size}.png")
    render_svg("tray-on-air.svg", size, f"tray-on-air-{size}.png")
    render_svg("tray-failing.svg", size, f"tray-failing-{size}.png")

convert("-size", "53x53", "xc:white", *monitor(0, 14, 1.6), *on_the_air(35, 18, 3, 2, "#e02020"),
        "-alpha", "off", f"PNG24:{HERE / 'header.png'}")

convert("-size", "164x313", "gradient:#1d4e89-#4aa3df", "-alpha", "set", *monitor(22, 100, 5), *on_the_air(116, 106, 7, 4, "white"),
        "-stroke", "none", "-fill", "white", "-font", "DejaVu-Sans-Bold", "-pointsize", "22", "-gravity", "south",
        "-annotate", "+0+28", "Lumivanta", "-alpha", "off", f"PNG24:{HERE / 'welcome.png'}")
