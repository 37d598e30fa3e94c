#!/usr/bin/python3
"""Runs the cross-built module under Wine through the Windows test host, and
the Windows pendrax.exe.

usage: run_wine_tests.py ARCH CROSS_BUILD WINEPREFIX PENDRAX WORK_DIR CHUNK_SAMPLES [PULSE_SCRIPTS_DIR]

ARCH is x86_64 (run with wine64) or i686 (run with the 32-bit wine).
PENDRAX is the Linux host, whose output the Windows one must match byte
for byte. With PULSE_SCRIPTS_DIR, also records through Wine's winmm from a
private PulseAudio started by the start-pulse script there, while a tone
plays into its null sink.

The prefix is made on the first run and reused after that.
"""
import math
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

ARCH, BUILD, PREFIX, PENDRAX, WORK = sys.argv[1:6]
CHUNK_SAMPLES = int(sys.argv[6])  # the samples the flanger reads at a time
PULSE_SCRIPTS = sys.argv[7] if len(sys.argv) > 7 else None
WINE = {"x86_64": "/usr/lib/wine/wine64", "i686": "/usr/lib/wine/wine"}[ARCH]
WINESERVER = "/usr/lib/wine/wineserver"
HOST = os.path.join(BUILD, "tests", "windows", "pendrax_windows_host.exe")
MODULE = os.path.join(BUILD, "src", "module", "PendraxWAVFlanger.dll")
PROBE = os.path.join(BUILD, "tests", "windows", "pendrax_module_probe.dll")
PENDRAX_EXE = os.path.join(BUILD, "tools", "pendrax", "pendrax.exe")

ENVIRONMENT = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all", WINEARCH="win64" if ARCH == "x86_64" else "win32",
                   # No prompts to install the browser and .NET engines.
                   WINEDLLOVERRIDES="mscoree,mshtml=",
                   # Western European ANSI code page (1252).
                   LC_ALL="C.UTF-8", LANG="C.UTF-8")
ENVIRONMENT.pop("DISPLAY", None)

SUCCESS = "Flanger effect applied and saved to output.wav\n"
OPEN_INPUT_FAILED = "Failed to open input file.\n"
OPEN_OUTPUT_FAILED = "Failed to open output file.\n"

failures = []


def check(condition, message, detail=""):
    print(("ok      " if condition else "FAILED  ") + message, flush=True)
    if not condition:
        if detail:
            print("        " + detail.rstrip().replace("\n", "\n        "), flush=True)
        failures.append(message)


def prepare_prefix():
    if os.path.exists(os.path.join(PREFIX, "system.reg")):
        return
    subprocess.run([WINE, "wineboot", "-i"], env=ENVIRONMENT, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-w"], env=ENVIRONMENT, check=False)


def host(*arguments, timeout=120):
    # Output to a file, not a pipe: the prefix's own services, started by the
    # first run, inherit the host's handles and outlive it.
    with tempfile.TemporaryFile(dir=WORK) as output:
        completed = subprocess.run([WINE, HOST, *arguments], env=ENVIRONMENT, cwd=WORK, stdout=output,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, timeout=timeout)
        output.seek(0)
        return completed.returncode, output.read().decode("utf-8", "replace").replace("\r\n", "\n")


def windows_path(path):
    # Wine maps drive Z: to the Unix root.
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def canonical_wav(samples, trailing=b""):
    data = struct.pack(f"<{len(samples)}h", *samples) + trailing
    header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(data), b"WAVE", b"fmt ", 16, 1, 1, 8000,
                         16000, 2, 16, b"data", len(data))
    return header + data


def read(path):
    with open(path, "rb") as stream:
        return stream.read()


def write(path, data):
    with open(path, "wb") as stream:
        stream.write(data)


def run_host_checks():
    code, output = host("exports", windows_path(MODULE))
    check(code == 0, "exports by name and by ordinal agree, null paths refused", output)
    # The name checks below rely on this code page's repertoire.
    check("code page 1252\n" in output, "the ANSI code page is 1252", output)
    code, output = host("typelib", windows_path(MODULE))
    check(code == 0, "the type library loads: PendraxWAVFlanger 1.0, Win32, locale 0x0409, no types", output)
    code, output = host("probe", windows_path(PROBE))
    check(code == 0, "attach runs the hook, static initialisation, DllMain; detach reverses", output)
    code, output = host("probe-refused", windows_path(PROBE))
    check(code == 0, "a refused framework initialisation fails the load", output)


def flange(input_name, output_name):
    code, output = host("flange", windows_path(MODULE), input_name, output_name)
    return code, output


def run_flanger_checks():
    generator = random.Random(5)
    # Past two of the flanger's chunks, ending mid-block and with an odd byte.
    samples = [generator.randint(-32768, 32767) for _ in range(2 * CHUNK_SAMPLES + 3 * 8000 + 517)]
    source = canonical_wav(samples, trailing=b"\x7f")
    write(os.path.join(WORK, "in.wav"), source)
    expected_path = os.path.join(WORK, "expected.wav")
    # --force: the module's own bytes (its header kept as it is, odd size and all).
    subprocess.run([PENDRAX, "flange", "--force", os.path.join(WORK, "in.wav"), expected_path],
                   check=True, stdout=subprocess.DEVNULL)
    expected = read(expected_path)

    # ASCII names, a character of the ANSI code page outside ASCII, one the
    # code page lacks (whose best-fit stand-in "A" names a decoy that must be
    # neither read nor overwritten) and one outside the Basic Multilingual
    # Plane: the module opens every name as UTF-16.
    decoy = b"decoy, not a WAV file"
    write(os.path.join(WORK, "in-A.wav"), decoy)
    write(os.path.join(WORK, "out-A.wav"), decoy)
    for input_name, output_name in (("in.wav", "out.wav"), ("in-\u00e9.wav", "out-\u00e9.wav"),
                                     ("in-\u0100.wav", "out-\u0100.wav"),
                                     ("in-\U0001f3b5.wav", "out-\U0001f3b5.wav")):
        if input_name != "in.wav":
            write(os.path.join(WORK, input_name), source)
        code, output = flange(input_name, output_name)
        produced = os.path.join(WORK, output_name)
        check(code == 0 and output == SUCCESS + "result 999\n"
              and os.path.exists(produced) and read(produced) == expected,
              f"{output_name!r} is byte for byte the Linux build's output", output)
    check(read(os.path.join(WORK, "in-A.wav")) == decoy and read(os.path.join(WORK, "out-A.wav")) == decoy,
          "the best-fit stand-ins of a name were neither read nor written")

    # Failures to open, and what they leave.
    code, output = flange("missing.wav", "from-missing.wav")
    check(output == OPEN_INPUT_FAILED + "result 1\n" and not os.path.exists(os.path.join(WORK, "from-missing.wav")),
          "a missing input is result 1 and creates no output", output)
    code, output = flange("in.wav", "no-such-folder\\out.wav")
    check(output == OPEN_OUTPUT_FAILED + "result 1\n" and read(os.path.join(WORK, "in.wav")) == source,
          "an output in a missing folder is result 1", output)

    # The output naming the input itself, spelled otherwise or through a hard link.
    os.link(os.path.join(WORK, "in.wav"), os.path.join(WORK, "link.wav"))
    for output_name in (".\\IN.WAV", windows_path(os.path.join(WORK, "in.wav")), "link.wav"):
        code, output = flange("in.wav", output_name)
        check(output == OPEN_OUTPUT_FAILED + "result 1\n" and read(os.path.join(WORK, "in.wav")) == source,
              f"output {output_name!r} is the input itself: refused, the input untouched", output)


def wav_blocks(path):
    """The number of one-second blocks a recording's header and length describe, or None."""
    data = read(path)
    if len(data) < 44:
        return None
    riff, riff_size, wave, fmt, fmt_size, tag, channels, rate, byte_rate, align, bits, data_tag, data_size = \
        struct.unpack_from("<4sI4s4sIHHIIHH4sI", data)
    canonical = (riff, wave, fmt, fmt_size, tag, channels, rate, byte_rate, align, bits, data_tag) == \
        (b"RIFF", b"WAVE", b"fmt ", 16, 1, 1, 8000, 16000, 2, 16, b"data")
    if not canonical or riff_size != data_size + 36 or len(data) != 44 + data_size or data_size % 16000:
        return None
    return data_size // 16000


def sox_stat(path, *effects):
    """sox's stat report of a file, as a dict of its "Name:  value" lines."""
    report = subprocess.run(["sox", path, "-n", *effects, "stat"], capture_output=True, text=True).stderr
    fields = {}
    for line in report.splitlines():
        name, _, value = line.partition(":")
        try:
            fields[" ".join(name.split())] = float(value)
        except ValueError:
            pass
    return fields


def run_recorder_check():
    server = os.path.join(WORK, "pulse")
    exports = subprocess.run([os.path.join(PULSE_SCRIPTS, "start-pulse"), server], check=True,
                             capture_output=True, text=True).stdout
    player = None
    try:
        # The player and Wine reach the private server through the variables it prints.
        for line in exports.splitlines():
            if line.startswith("export "):
                name, _, value = line[len("export "):].partition("=")
                ENVIRONMENT[name] = value.strip("'\"")
        player = int(subprocess.run([os.path.join(PULSE_SCRIPTS, "start-tone"), os.path.join(WORK, "tone.wav"), "60"],
                                    env=ENVIRONMENT, check=True, stdout=subprocess.PIPE, text=True).stdout)
        # Eight and a half seconds: eight whole blocks, then the second in
        # progress at the stop, tone then silence.
        code, output = host("record", windows_path(MODULE), "recording.wav", "8550", timeout=180)
        lines = dict(line.rsplit(" ", 1) for line in output.splitlines() if " " in line)
        recording = os.path.join(WORK, "recording.wav")
        blocks = wav_blocks(recording)
        counted = int(lines.get("blocks", "-1"))
        check(code == 0 and lines.get("start") == "999" and blocks == counted == 9,
              f"8.5 seconds recorded through winmm: {counted} blocks, the file holds {blocks}", output)
        if blocks:
            data = read(recording)[44:]
            x = struct.unpack(f"<{len(data) // 2}h", data)
            end = len(x)
            while end > (blocks - 1) * 8000 and x[end - 1] == 0:
                end -= 1
            check((blocks - 1) * 8000 + 2000 < end < len(x) - 2000,
                  f"the last second holds the tone, then silence (tone ends at sample {end})")
            # x[n] = 2cos(w)x[n-1] - x[n-2] predicts a pure tone; a gap where two
            # blocks meet shows at their first two samples. The first
            # milliseconds are the server's fade-in.
            two_cos = 2 * math.cos(2 * math.pi * 440 / 8000)
            joins = rest = 0.0
            for n in range(32, (blocks - 1) * 8000):
                error = abs(x[n] - two_cos * x[n - 1] + x[n - 2])
                if n % 8000 < 2:
                    joins = max(joins, error)
                else:
                    rest = max(rest, error)
            print(f"[ figure ] {ARCH}: worst prediction error at {blocks - 2} joins {joins:.0f}, elsewhere "
                  f"{rest:.0f}; first frame {float(lines['recorded-ms']) / 1000 - end / 8000:.3f} s after "
                  f"SoundRecorderStart; SoundRecorderStop took {lines['stop-ms']} ms", flush=True)
            check(joins <= rest < 2000, "every one-second join is gapless")
            last_second = sox_stat(recording, "trim", "1", "1")
            frequency = last_second.get("Rough frequency", -1)
            amplitude = last_second.get("RMS amplitude", -1)
            check(abs(frequency - 440) <= 15 and abs(amplitude - 0.3535) <= 0.03,
                  f"sox reads the tone played: {frequency:.0f} Hz, RMS {amplitude:.3f}")
        # The host stops --seconds 3 three seconds after the start: three blocks.
        code, out, err = pendrax_exe("record", "pdx-rec.wav", "--seconds", "3", timeout=180)
        blocks = wav_blocks(os.path.join(WORK, "pdx-rec.wav"))
        parts = [name for name in os.listdir(WORK) if name.endswith(".part")]
        check(code == 0 and blocks == 3 and err.endswith("pendrax: wrote pdx-rec.wav (3.0 s)\n") and not parts,
              f"pendrax.exe record --seconds 3: {blocks} blocks, as reported, moved into place",
              f"status {code}, {len(parts)} part file(s), stderr {err!r}")
        # '-' streams it; standard output here is a file, so its header gets the real sizes.
        code, out, err = pendrax_exe("record", "-", "--seconds", "2", timeout=180)
        check(code == 0 and len(out) == 44 + 2 * 16000 and struct.unpack("<I", out[40:44])[0] == 32000,
              f"pendrax.exe record - --seconds 2: {len(out)} bytes on standard output", err)
    finally:
        if player:
            os.kill(player, signal.SIGKILL)
        subprocess.run([os.path.join(PULSE_SCRIPTS, "stop-pulse"), server], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def pendrax_exe(*arguments, stdin=None, timeout=120):
    """Runs pendrax.exe (beside its DLL); returns its status, stdout bytes and stderr text."""
    with tempfile.TemporaryFile(dir=WORK) as out, tempfile.TemporaryFile(dir=WORK) as err:
        completed = subprocess.run([WINE, os.path.join(WORK, "bin", "pendrax.exe"), *arguments], env=ENVIRONMENT,
                                   cwd=WORK, stdout=out, stderr=err, stdin=stdin or subprocess.DEVNULL,
                                   timeout=timeout)
        out.seek(0)
        err.seek(0)
        return completed.returncode, out.read(), err.read().decode("utf-8", "replace").replace("\r\n", "\n")


def run_pendrax_checks():
    os.makedirs(os.path.join(WORK, "bin"))
    for built in (PENDRAX_EXE, MODULE):
        shutil.copy(built, os.path.join(WORK, "bin"))
    generator = random.Random(11)
    write(os.path.join(WORK, "pdx-in.wav"), canonical_wav([generator.randint(-32768, 32767) for _ in range(3 * 8000)]))
    expected = os.path.join(WORK, "pdx-expected.wav")
    subprocess.run([PENDRAX, "flange", os.path.join(WORK, "pdx-in.wav"), expected], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    code, out, err = pendrax_exe("flange", "pdx-in.wav", "pdx-out-\u00e9.wav")
    produced = os.path.join(WORK, "pdx-out-\u00e9.wav")
    check(code == 0 and os.path.exists(produced) and read(produced) == read(expected) and out == b""
          and err == "pendrax: wrote pdx-out-\u00e9.wav (3.0 s)\n",
          "pendrax.exe flange: the Linux host's bytes, its name and duration on stderr", err)
    with open(os.path.join(WORK, "pdx-in.wav"), "rb") as stdin:
        code, out, err = pendrax_exe("flange", "-", "-", stdin=stdin)
    check(code == 0 and out == read(expected), "pendrax.exe flange - -: only the same bytes on stdout", err)
    # Zero sizes are mended to the Linux host's bytes; a tail and a leading
    # '-' get a refusal with cmd.exe's form of the sox command.
    source = read(os.path.join(WORK, "pdx-in.wav"))
    write(os.path.join(WORK, "pdx-zero.wav"), source[:4] + bytes(4) + source[8:40] + bytes(4) + source[44:])
    code, out, err = pendrax_exe("flange", "pdx-zero.wav", "pdx-zero-out.wav")
    check(code == 0 and read(os.path.join(WORK, "pdx-zero-out.wav")) == read(expected) and "a data size of 0" in err,
          "pendrax.exe flange: zero sizes named and mended", err)
    write(os.path.join(WORK, "-dash.wav"), source + b"ID3\x03" + bytes(20))
    code, out, err = pendrax_exe("flange", "--", "-dash.wav", "never.wav")
    check(code == 4 and "an ID3 tag after the data" in err and "sox .\\-dash.wav -r 8000" in err
          and not os.path.exists(os.path.join(WORK, "never.wav")), "pendrax.exe: a tail refused, the command for cmd.exe", err)
    code, out, err = pendrax_exe("flange", "missing.wav", "never.wav")
    print("        " + err.strip(), flush=True)
    check(code == 1 and err.startswith("pendrax: cannot open input 'missing.wav': ") and len(err.splitlines()[0]) > 42
          and not os.path.exists(os.path.join(WORK, "never.wav")),
          "pendrax.exe: a missing input gives status 1 and the system's reason", err)


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    started = time.monotonic()
    prepare_prefix()
    # One server for every run of the host: starting it each time costs seconds.
    subprocess.run([WINESERVER, "-p"], env=ENVIRONMENT, check=True)
    try:
        run_host_checks()
        run_flanger_checks()
        run_pendrax_checks()
        if PULSE_SCRIPTS:
            run_recorder_check()
    finally:
        subprocess.run([WINESERVER, "-k"], env=ENVIRONMENT, check=False)
    print(f"{ARCH}: {len(failures)} failed, {time.monotonic() - started:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
