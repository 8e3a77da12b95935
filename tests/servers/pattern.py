"""Writes test files whose bytes can be recomputed: byte i is (i * 31 + 7) % 251.

Usage: pattern.py FOLDER NAME:SIZE ...
"""
import os
import sys


def pattern(size, start=0):
    return bytes(((i * 31 + 7) % 251) for i in range(start, start + size))


def main():
    folder = sys.argv[1]
    for spec in sys.argv[2:]:
        name, size = spec.rsplit(":", 1)
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(pattern(int(size)))


if __name__ == "__main__":
    main()
