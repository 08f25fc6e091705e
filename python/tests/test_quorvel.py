# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
"""The quorvel package as installed from its wheel (python/test-wheels):
every golden case through the API, batches, errors, and the wheels."""
import dataclasses
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import zipfile
from pathlib import Path

import pytest

import quorvel

SOURCE = Path(__file__).resolve().parents[2]
CASES = SOURCE / "tests" / "data" / "cases"
WHEELS = Path(os.environ.get("QUORVEL_WHEELS", SOURCE / "build" / "python"))


def lines(path):
    return path.read_text(encoding="utf-8").splitlines() if path.exists() else []


def case_options(case):
    """The case's command-line arguments as keyword arguments."""
    args, options = lines(case / "args"), {}
    while args:
        arg = args.pop(0)
        if arg == "--no-trackers":
            options["trackers"] = False
        else:
            assert arg in ("-f", "--factor"), arg
            options["factor"] = args.pop(0)
    return options


def test_the_installed_package_runs_its_own_converter():
    assert Path(quorvel.__file__).is_relative_to(sys.prefix), "not the installed wheel"
    assert Path(quorvel.converter()).parent == Path(quorvel.__file__).parent / "bin"
    assert shutil.which("quorvel-convert") is None and "QUORVEL_CONVERT" not in os.environ
    run = [sys.executable, "-m", "quorvel"]
    version = subprocess.run(run + ["--version"], stdout=subprocess.PIPE, check=True)
    assert version.stdout.decode().splitlines()[0] == f"quorvel-convert {quorvel.__version__}"
    assert subprocess.run(run + ["--factor", "0,5", "a.ma", "b.syncar"], stderr=subprocess.DEVNULL).returncode == 2


@pytest.mark.parametrize("case", sorted(p.name for p in CASES.iterdir()))
def test_golden_case(case, tmp_path):
    case = CASES / case
    export, options = case / "input.ma", case_options(case)
    said = lines(case / "expected-stderr")
    scene = tmp_path / "scene.syncar"
    if (case / "expected-status").exists():
        status = int(lines(case / "expected-status")[0])
        for call in (lambda: quorvel.convert(export, scene, **options), lambda: quorvel.check(export, **options),
                     lambda: quorvel.convert_bytes(export.read_bytes(), **options)):
            with pytest.raises(quorvel.UsageError if status == 2 else quorvel.ConversionError) as raised:
                call()
            for fragment in said:
                assert fragment.replace("quorvel-convert: ", "").replace("input.ma", "") in str(raised.value)
            if status == 1:
                line = re.search(r"line (\d+):", said[0])
                assert raised.value.kind == "bad-input"
                assert raised.value.line == (int(line.group(1)) if line else None)
        assert not scene.exists()
        return
    expected = (case / "expected.syncar").read_bytes()
    result = quorvel.convert(export, scene, **options)
    assert scene.read_bytes() == expected
    assert (result.input, result.output, result.written, result.error) == (str(export), str(scene), True, None)
    assert result.frames == result.last_frame - result.first_frame + 1
    told = [w.message for w in result.warnings] + [f"line {s.line}: tracker line skipped: {s.reason}"
                                                   for s in result.skipped]
    for fragment in said:  # as on standard error, where a warning names its input first
        fragment = fragment[len("input.ma: "):] if fragment.startswith("input.ma: ") else fragment
        assert any(fragment in message for message in told), (fragment, told)
    assert all(w.kind for w in result.warnings) and result.skipped_count >= len(result.skipped)
    for count in lines(case / "expected-warnings"):
        assert len(result.warnings) + len(result.skipped) == int(count), told
    scene_bytes, in_memory = quorvel.convert_bytes(export.read_bytes(), **options)
    assert scene_bytes == expected
    assert in_memory == dataclasses.replace(result, input="-", output=None)
    # A check gives the same values and leaves the folder as it was.
    assert quorvel.check(export, **options) == dataclasses.replace(result, output=None, written=False)
    assert sorted(tmp_path.iterdir()) == [scene]
    # A factor as a float is passed on as the text it reads back from.
    if "factor" in options:
        quorvel.convert(export, scene, **dict(options, factor=float(options["factor"])))
        assert scene.read_bytes() == expected


def test_convert_many_same_named_exports_in_shot_folders(tmp_path):
    good = CASES / "shot_0010_sample"
    exports = []
    for shot, source in (("A", good), ("B", CASES / "key_value_not_number"), ("C", good)):
        (tmp_path / shot / "track").mkdir(parents=True)
        exports.append(tmp_path / shot / "track" / "camera.ma")
        shutil.copyfile(source / "input.ma", exports[-1])
    results = quorvel.convert_many(exports, "{dir}/{parent}_{name}.syncar", jobs=2)
    assert [r.input for r in results] == [str(e) for e in exports]
    assert [r.ok for r in results] == [True, False, True]
    assert (results[1].error.kind, results[1].error.line, results[1].written) == ("bad-input", 17, False)
    for shot in "AC":
        assert (tmp_path / shot / "track" / "track_camera.syncar").read_bytes() == (good / "expected.syncar").read_bytes()
    assert not (tmp_path / "B" / "track" / "track_camera.syncar").exists()
    # Into one folder the same names collide: the first stays, the others say why.
    (tmp_path / "out").mkdir()
    results = quorvel.convert_many([exports[0], exports[2]], tmp_path / "out")
    assert results[0].output == str(tmp_path / "out" / "camera.syncar") and results[0].written
    assert (results[1].ok, results[1].error.kind) == (False, "file-system")
    with pytest.raises(quorvel.UsageError, match="placeholder"):
        quorvel.convert_many(exports, tmp_path / "{{one}}.syncar")


def test_an_older_converter_is_refused_clearly(monkeypatch):
    old = {"input": "a.ma", "output": "a.syncar", "written": True, "ok": True, "error": None}
    monkeypatch.setattr(quorvel._run, "_command", lambda: [sys.executable, "-c", f"print({json.dumps(json.dumps(old))})"])
    with pytest.raises(quorvel.ConverterError, match="no schema .*reads schema 2"):
        quorvel.convert("a.ma", "a.syncar")


def wheel(platform):
    (found,) = WHEELS.glob(f"quorvel-{quorvel.__version__}-py3-none-*{platform}.whl")
    return found


@pytest.mark.parametrize("platform, program, magic", [
    ("x86_64", "quorvel-convert", b"\x7fELF\x02\x01\x01"), ("aarch64", "quorvel-convert", b"\x7fELF\x02\x01\x01"),
    ("win_amd64", "quorvel-convert.exe", b"MZ")])
def test_wheel_contents(platform, program, magic):
    with zipfile.ZipFile(wheel(platform)) as whl:
        names = whl.namelist()
        info = f"quorvel-{quorvel.__version__}.dist-info/"
        tags = [l for l in whl.read(info + "WHEEL").decode().splitlines() if l.startswith("Tag: ")]
        assert "Root-Is-Purelib: false" in whl.read(info + "WHEEL").decode()
        assert tags == ([f"Tag: py3-none-{p}_{platform}" for p in ("manylinux_2_17", "manylinux2014", "musllinux_1_1")]
                        if platform != "win_amd64" else ["Tag: py3-none-win_amd64"])
        assert [n for n in names if n.startswith("quorvel/bin/")] == [f"quorvel/bin/{program}"]
        assert whl.read(f"quorvel/bin/{program}").startswith(magic)
        assert whl.getinfo(f"quorvel/bin/{program}").external_attr >> 16 & 0o111
        assert {"quorvel/py.typed", "quorvel/__main__.py", info + "LICENSE"} <= set(names)


def test_aarch64_converter_under_qemu(tmp_path, monkeypatch):
    with zipfile.ZipFile(wheel("aarch64")) as whl:
        program = Path(whl.extract("quorvel/bin/quorvel-convert", tmp_path))
    program.chmod(0o755)
    monkeypatch.setattr(quorvel._run, "_command", lambda: ["/usr/bin/qemu-aarch64-static", str(program)])
    case = CASES / "shot_0010_sample_factor_2_54"
    scene, result = quorvel.convert_bytes((case / "input.ma").read_bytes(), factor=2.54)
    assert scene == (case / "expected.syncar").read_bytes() and result.trackers == 12


def test_farm_job_script(tmp_path):
    job = [sys.executable, str(SOURCE / "examples" / "farm-job.py")]
    report = tmp_path / "job.json"
    done = subprocess.run(job + ["--report", str(report), str(SOURCE / "examples" / "shot_0020.ma"),
                                 str(tmp_path / "shot_0020.syncar")])
    assert done.returncode == 0 and json.loads(report.read_text())["result"]["ok"] is True
    done = subprocess.run(job + ["--report", str(report), str(CASES / "empty_file" / "input.ma"),
                                 str(tmp_path / "empty.syncar")])
    assert done.returncode == 1 and json.loads(report.read_text())["result"]["error"]["kind"] == "bad-input"


STOPPED = """
import signal, sys, quorvel
signal.signal(signal.SIGINT, signal.default_int_handler)
if sys.argv[3] == "handler":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
try:
    if sys.argv[4] == "many":
        print(*[r.error.kind for r in quorvel.convert_many([sys.argv[1], sys.argv[5]], sys.argv[2] + "/")])
    else:
        quorvel.convert(sys.argv[1], sys.argv[2] + "/shot.syncar")
except BaseException as error:
    print(type(error).__name__, getattr(error, "kind", ""), flush=True)
    raise
"""


def children(pid):
    found = []
    for stat in Path("/proc").glob("[0-9]*/stat"):
        try:
            if int(stat.read_text().rsplit(")", 1)[1].split()[1]) == pid:
                found.append(int(stat.parent.name))
        except (OSError, IndexError, ValueError):
            pass
    return found


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="POSIX signals, FIFOs and /proc")
@pytest.mark.parametrize("stopped, sig, handler, calls, said, status", [
    ("python", signal.SIGINT, "default", "one", "KeyboardInterrupt", -signal.SIGINT),
    ("python", signal.SIGTERM, "default", "one", "", -signal.SIGTERM),
    ("python", signal.SIGTERM, "handler", "one", "SystemExit", 143),
    ("converter", signal.SIGTERM, "default", "one", "ConversionError interrupted", 1),
    ("converter", signal.SIGINT, "default", "many", "interrupted interrupted", 0),
])
def test_a_stopped_call_stops_the_converter_first(tmp_path, stopped, sig, handler, calls, said, status):
    """The converter waits for an export nobody writes (a FIFO) when the
    Python process or the converter itself gets the signal."""
    export, out = tmp_path / "shot.ma", tmp_path / "out"
    os.mkfifo(export)
    out.mkdir()
    (out / "shot.syncar").write_bytes(b"SynthEyesScene {\r\nold\r\n")
    job = subprocess.Popen([sys.executable, "-c", STOPPED, str(export), str(out), handler, calls,
                            str(CASES / "shot_0010_sample" / "input.ma")], stdout=subprocess.PIPE)
    deadline = time.monotonic() + 60
    while not (converter := children(job.pid)) or Path(f"/proc/{converter[0]}/wchan").read_text() not in (
            "wait_for_partner", "fifo_open"):
        assert job.poll() is None and time.monotonic() < deadline, "the converter never waited for the export"
        time.sleep(0.01)
    os.kill(job.pid if stopped == "python" else converter[0], sig)
    assert job.communicate(timeout=60)[0].decode().strip() == said
    assert job.returncode == status
    assert not Path(f"/proc/{converter[0]}").exists(), "the converter was left running"
    assert sorted(p.name for p in out.iterdir()) == ["shot.syncar"]
    assert (out / "shot.syncar").read_bytes() == b"SynthEyesScene {\r\nold\r\n"
