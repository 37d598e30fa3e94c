#!/usr/bin/python3
"""Runs widl, then sets the creation time it writes into the type library
to SOURCE_DATE_EPOCH (0 when unset): widl 7 stamps both a text ("Created by
WIDL version V at <local ctime>") and a number (the time as a VT_UI4 value),
and ignores SOURCE_DATE_EPOCH, so two builds of one commit would differ.
(Debian 13's widl 9.8 writes a fixed time instead, which is kept.)

usage: widl-stamp.py WIDL [ARGUMENT...] -o TYPELIB [ARGUMENT...]
"""
import os
import re
import struct
import subprocess
import sys
import time


def main():
    command = sys.argv[1:]
    output = command[command.index("-o") + 1]
    before = int(time.time())
    subprocess.run(command, check=True)
    after = int(time.time()) + 1
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    with open(output, "rb") as file:
        data = file.read()

    # VT_UI4 (0x13, 0) followed by a time between widl's start and end.
    numbers = [match.start() + 2 for match in re.finditer(rb"\x13\x00", data)
               if match.start() + 6 <= len(data)
               and before - 1 <= struct.unpack_from("<I", data, match.start() + 2)[0] <= after]
    if not numbers:
        return  # no build time written
    stamp = time.strftime("%a %b %e %H:%M:%S %Y", time.gmtime(epoch)).encode()
    data, texts = re.subn(rb"(Created by WIDL version \S+ at )\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}",
                          lambda match: match.group(1) + stamp, data)
    if texts != 1 or len(numbers) != 1:
        sys.exit(f"widl-stamp.py: {output}: expected one creation text and one creation time, "
                 f"found {texts} and {len(numbers)}")
    data = bytearray(data)
    struct.pack_into("<I", data, numbers[0], epoch)
    with open(output, "wb") as file:
        file.write(data)


if __name__ == "__main__":
    main()
