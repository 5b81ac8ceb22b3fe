#!/usr/bin/env python3
"""Render the demo report to a PNG for a person to look at.

    python scripts/render_report.py [--out DIR] [--width 1320] [--height 4200]

writes DIR/report.html (from `tarvenn demo`) and DIR/report.png, a screenshot taken by headless
Chromium (Debian's `chromium` package) with no network access.
"""

from __future__ import annotations

import argparse
import os
import shutil
import subprocess
import sys
import tempfile


def chromium() -> str:
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    raise SystemExit("headless Chromium is needed: apt-get install chromium")


def screenshot(html: str, png: str, width: int, height: int) -> None:
    """A PNG of `html` as Chromium shows it in a window of width x height."""
    with tempfile.TemporaryDirectory(prefix="tarvenn-chromium-") as profile:
        cmd = [
            chromium(),
            "--headless",
            "--no-sandbox",
            "--disable-gpu",
            "--hide-scrollbars",
            "--no-first-run",
            "--disable-extensions",
            "--disable-background-networking",
            "--proxy-server=127.0.0.1:9",  # nothing may come from the network
            f"--user-data-dir={profile}",
            f"--window-size={width},{height}",
            f"--screenshot={os.path.abspath(png)}",
            "file://" + os.path.abspath(html),
        ]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=".", help="folder for report.html and report.png (default: here)")
    parser.add_argument("--width", type=int, default=1320)
    parser.add_argument("--height", type=int, default=4200)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    html = os.path.join(args.out, "report.html")
    png = os.path.join(args.out, "report.png")
    subprocess.run([sys.executable, "-m", "tarvenn", "demo", "--quiet", "--html", html], check=True)
    screenshot(html, png, args.width, args.height)
    print(png)
    return 0


if __name__ == "__main__":
    sys.exit(main())
