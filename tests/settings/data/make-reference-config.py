#!/usr/bin/env python3
"""Writes reference.lic, a configuration file made without the program's own
code: the openssl command line does the AES-128 ECB passes. The tests check
that the program writes exactly these bytes and reads them back."""

import pathlib
import subprocess

KEY = b"KRT3(#mx58qd7.Jz"


def aes_ecb(data: bytes) -> bytes:
    return subprocess.run(
        ["openssl", "enc", "-aes-128-ecb", "-nopad", "-K", KEY.hex()],
        input=data, capture_output=True, check=True).stdout


def stored_form(line: str) -> str:
    data = aes_ecb(line.encode().ljust(96)[:96])
    for k in (8, 16, 24, 32, 40):
        data = aes_ecb(data[k:] + data[:k])
    return data.hex().upper()


lines = [
    ";Please do not change!",
    ";",
    ";If this file is deleted, all settings will be lost",
    ";",
    stored_form("04=http://example.org/up/index.php"),
    stored_form("05=abc-123_X"),
    stored_form("06=1"),
    stored_form("07=2500"),
    stored_form("08=768"),
]
out = pathlib.Path(__file__).with_name("reference.lic")
out.write_bytes("".join(line + "\r\n" for line in lines).encode())
