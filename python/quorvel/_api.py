# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
"""convert, check, convert_many and convert_bytes."""
from __future__ import annotations

import dataclasses
import os
import tempfile
from pathlib import Path
from typing import Iterable, List, Tuple, Union

from ._errors import UsageError
from ._result import Result, parse_record
from ._run import Factor, PathLike, Strict, options, path_argument, run


def _one(result: Result) -> Result:
    if result.error is not None:
        raise result.error
    return result


def convert(export: PathLike, scene: PathLike, *, trackers: bool = True, factor: Factor = 1,
            strict: Strict = False) -> Result:
    """Converts the export file into the scene file.

    ``trackers=False`` writes the camera only; ``factor`` scales the tracked
    points' positions (a number, or its text such as "0.5"). ``strict`` makes
    every warning fatal (True) or those of the kinds listed. An existing
    scene is replaced only when the conversion succeeds. Raises
    ConversionError when the export cannot be converted, UsageError for
    arguments the converter refuses.
    """
    arguments = options(trackers, factor, strict) + ["--", path_argument(export), path_argument(scene)]
    (record,) = run(arguments, 1)
    return _one(parse_record(record, os.fspath(export), os.fspath(scene)))


def check(export: PathLike, *, trackers: bool = True, factor: Factor = 1, strict: Strict = False) -> Result:
    """Reads and checks the export completely, as convert would, and writes
    nothing. Raises ConversionError when it would not convert."""
    arguments = options(trackers, factor, strict) + ["--check", "--", path_argument(export)]
    (record,) = run(arguments, 1)
    return _one(parse_record(record, os.fspath(export)))


def convert_bytes(export: Union[bytes, bytearray, memoryview], *, trackers: bool = True, factor: Factor = 1,
                  strict: Strict = False) -> Tuple[bytes, Result]:
    """Converts an export held in memory and returns the scene's bytes with
    the Result (its input '-', its output None). Raises ConversionError,
    whose path is None, when the export cannot be converted."""
    if not isinstance(export, (bytes, bytearray, memoryview)):
        raise TypeError(f"export must be bytes, not {type(export).__name__}")
    with tempfile.TemporaryDirectory(prefix="quorvel-") as folder:
        scene = Path(folder) / "scene.syncar"
        arguments = options(trackers, factor, strict) + ["--", "-", str(scene)]
        (record,) = run(arguments, 1, stdin=bytes(export))
        result = _one(dataclasses.replace(parse_record(record, None), output=None))
        return scene.read_bytes(), result


def convert_many(exports: Iterable[PathLike], output: PathLike, *, jobs: int = 1, trackers: bool = True,
                 factor: Factor = 1, strict: Strict = False) -> List[Result]:
    """Converts many exports in one run of the converter, ``jobs`` at once
    (0: one per processor), and returns their Results in the order given.

    ``output`` is an existing folder (each scene is FOLDER/NAME.syncar) or a
    template for the scene's path with {dir} (the export's folder as given),
    {name} (its file name without .ma) and {parent} (the last part of its
    folder), {{ and }} for braces: "{dir}/{name}.syncar" writes each scene
    beside its export. A failed export gives a Result with its error and the
    others go on; arguments the converter refuses raise UsageError.
    """
    given = [os.fspath(export) for export in exports]
    if not given:
        return []
    target = os.fspath(output)
    if os.path.isdir(target) or "{" not in target:
        arguments = ["--directory=" + target]
    else:
        arguments = ["--output=" + target]
    if isinstance(jobs, bool) or not isinstance(jobs, int):
        raise TypeError(f"jobs must be an int, not {type(jobs).__name__}")
    if jobs < 0:
        raise UsageError(f"jobs must be 0 (one per processor) or more, not {jobs}")
    if jobs != 1:
        arguments.append(f"--jobs={jobs}")
    arguments = options(trackers, factor, strict) + arguments + ["--"] + [path_argument(p) for p in given]
    records = run(arguments, len(given))
    return [parse_record(record, export) for record, export in zip(records, given)]
