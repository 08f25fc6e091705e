# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
"""Finding quorvel-convert and running it with its JSON report."""
from __future__ import annotations

import json
import numbers
import os
import shutil
import signal
import subprocess
import sys
import threading
from pathlib import Path
from typing import Any, Iterable, List, Optional, Sequence, Union

from ._errors import ConverterError, UsageError
from ._result import SCHEMA

try:
    from ._version import __version__
except ImportError:  # a source tree, not an installed package
    __version__ = "0+unknown"

PathLike = Union[str, "os.PathLike[str]"]
Factor = Union[int, float, str]
Strict = Union[bool, Iterable[str]]

PROGRAM = "quorvel-convert.exe" if os.name == "nt" else "quorvel-convert"


def converter() -> str:
    """The converter this package runs: the one inside the package, else
    the program $QUORVEL_CONVERT names, else quorvel-convert on PATH."""
    bundled = Path(__file__).resolve().parent / "bin" / PROGRAM
    if bundled.is_file():
        return str(bundled)
    named = os.environ.get("QUORVEL_CONVERT")
    if named:
        if not Path(named).is_file():
            raise ConverterError(f"QUORVEL_CONVERT names {named!r}, which is not a file")
        return named
    found = shutil.which("quorvel-convert")
    if found is None:
        raise ConverterError("no quorvel-convert: this package holds none, QUORVEL_CONVERT is not set "
                             "and PATH has none; install a wheel for this platform")
    return found


def path_argument(path: PathLike) -> str:
    """A path as the converter must be given it: '-' would be standard
    input or output, so a file of that name is passed as ./-."""
    text = os.fspath(path)
    if not isinstance(text, str):
        raise TypeError(f"a path must be str or os.PathLike[str], not {type(text).__name__}")
    if text == "":
        raise UsageError("a path is empty")
    return os.path.join(".", text) if text == "-" else text


def factor_text(factor: Factor) -> str:
    """The factor as the converter reads it: a float as its shortest text
    that reads back as the same float (0.1 stays '0.1'), other numbers
    exactly, a text as it is."""
    if isinstance(factor, bool) or not isinstance(factor, (str, numbers.Real)):
        raise TypeError(f"factor must be a number or its text, not {type(factor).__name__}")
    if isinstance(factor, str):
        return factor
    if isinstance(factor, numbers.Integral):
        return str(int(factor))
    return repr(float(factor))


def options(trackers: bool, factor: Factor, strict: Strict) -> List[str]:
    arguments = ["--report", "json", "--quiet", "--factor=" + factor_text(factor)]
    if not trackers:
        arguments.append("--no-trackers")
    if strict is True:
        arguments.append("--strict")
    elif strict is not False:
        kinds = [strict] if isinstance(strict, str) else list(strict)
        if kinds:
            arguments.append("--strict=" + ",".join(kinds))
    return arguments


def _command() -> List[str]:
    return [converter()]


class _Terminated(BaseException):
    """SIGTERM arrived while the converter ran, its action the default."""


def _on_sigterm(signum: int, frame: Any) -> None:
    raise _Terminated()


def _stop(process: "subprocess.Popen[bytes]", error: BaseException) -> None:
    """Stops the converter as this process is being stopped: it is sent
    the same signal (SIGINT for KeyboardInterrupt, else SIGTERM), so that it
    ends as it does when interrupted (the old scene file as it was, nothing
    half-written), and waited for. On Windows, where Ctrl-C reaches it
    itself, it is only waited for. A second interruption meanwhile kills it."""
    try:
        if os.name != "nt":
            process.send_signal(signal.SIGINT if isinstance(error, KeyboardInterrupt) else signal.SIGTERM)
        process.communicate()
    except BaseException:
        process.kill()
        process.wait()
        raise


def _communicate(process: "subprocess.Popen[bytes]", stdin: bytes) -> Any:
    """The converter's output and status, once it ends. Should this process
    be stopped meanwhile (KeyboardInterrupt, an exception from a signal
    handler of the caller's, SIGTERM), the converter is stopped first."""
    # SIGTERM's default would end this process at once and leave the
    # converter running: while it runs, the signal stops the converter,
    # then ends this process as the default does. A handler of the
    # caller's is left alone; only the main thread can set one.
    catch = (os.name != "nt" and threading.current_thread() is threading.main_thread()
             and signal.getsignal(signal.SIGTERM) == signal.SIG_DFL)
    if catch:
        signal.signal(signal.SIGTERM, _on_sigterm)
    try:
        out, err = process.communicate(stdin)
    except BaseException as error:
        if catch:
            signal.signal(signal.SIGTERM, signal.SIG_DFL)
            catch = False
        _stop(process, error)
        if isinstance(error, _Terminated):
            os.kill(os.getpid(), signal.SIGTERM)
        raise
    finally:
        if catch:
            signal.signal(signal.SIGTERM, signal.SIG_DFL)
    return out, err, process.returncode


def run(arguments: Sequence[str], inputs: int, stdin: Optional[bytes] = None) -> List[Any]:
    """Runs the converter and returns its report's records, one per input.
    A usage error raises UsageError; anything but one record per input
    after a status of 0 or 1, or after an interruption that the records
    tell, raises ConverterError."""
    command = _command()
    program = command[-1]  # the converter, after any emulator that runs it
    command += list(arguments)
    flags = getattr(subprocess, "CREATE_NO_WINDOW", 0)  # no console window flashing up on Windows
    try:
        process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, creationflags=flags)
    except OSError as error:
        raise ConverterError(f"cannot run {program}: {error.strerror or error}") from error
    with process:
        stdout, stderr, status = _communicate(process, stdin if stdin is not None else b"")
    said = stderr.decode("utf-8", "replace").strip()
    prefix = "quorvel-convert: "
    if status == 2:
        first = said.splitlines()[0] if said else "usage error"
        raise UsageError(first[len(prefix):] if first.startswith(prefix) else first)
    records = []
    try:
        for line in stdout.decode("utf-8").splitlines():
            records.append(json.loads(line))
    except ValueError as error:
        raise ConverterError(f"{program} printed a report that is not JSON Lines: {error}") from None
    for record in records:
        schema = record.get("schema") if isinstance(record, dict) else None
        if schema != SCHEMA:
            found = "no schema (an older converter's)" if schema is None else f"schema {schema!r}"
            raise ConverterError(f"{program} printed a report of {found}; this package reads schema "
                                 f"{SCHEMA}: use a converter of version {__version__}")
    # Stopped by a signal of its own (not this process's), the converter
    # still reports every input, those it did not finish as interrupted.
    interrupted = any(isinstance(r.get("error"), dict) and r["error"].get("kind") == "interrupted"
                      for r in records)
    if (status not in (0, 1) and not interrupted) or len(records) != inputs:
        raise ConverterError(f"{program} {_status_text(status)} after reporting {len(records)} of {inputs} inputs"
                             + (f": {said}" if said else ""))
    return records


def _status_text(status: int) -> str:
    if status < 0 or (os.name != "nt" and status > 128):
        return f"ended by signal {-status if status < 0 else status - 128}"
    return f"ended with status {status}"


def exec_converter(arguments: Sequence[str]) -> int:
    """Runs the converter in place of this process (on Windows as a child
    whose status is returned)."""
    program = converter()
    try:
        if os.name == "nt":
            return subprocess.call([program] + list(arguments))
        sys.stdout.flush()
        os.execv(program, [program] + list(arguments))
    except OSError as error:
        raise ConverterError(f"cannot run {program}: {error.strerror or error}") from error
    return 127  # not reached: execv returns only by raising
