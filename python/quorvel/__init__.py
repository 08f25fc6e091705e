# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
"""Converts camera tracker exports (.ma) into scene files (.syncar).

The package drives quorvel-convert, the converter it brings along, through
its JSON report, and gives each conversion as a Result::

    import quorvel
    result = quorvel.convert("shot_0010.ma", "shot_0010.syncar", factor=0.5)
    print(result.frames, result.trackers, [w.message for w in result.warnings])

``python -m quorvel ARGS...`` runs the converter itself.

A call stopped while the converter runs stops the converter first: on
KeyboardInterrupt it is sent SIGINT, on an exception that a signal handler
of the caller's raises (for SIGTERM, say) SIGTERM, and waited for, so that
it ends as an interrupted conversion does (the old scene file as it was, no
partial file); then the exception goes on. SIGTERM left at its default
action stops the converter the same way, then ends the process by SIGTERM
as the default does (in the main thread; elsewhere no handler can be set,
and the converter finishes on its own, all or nothing). On Windows Ctrl-C
reaches the converter itself, and it is waited for. A converter stopped by
a signal of its own gives ConversionError of kind "interrupted".
"""
from ._api import check, convert, convert_bytes, convert_many
from ._errors import ConversionError, ConverterError, UsageError
from ._result import SCHEMA, Result, SkippedLine, Warning
from ._run import __version__, converter

# Not Warning: "from quorvel import *" must not hide the built-in one.
__all__ = ["check", "convert", "convert_bytes", "convert_many", "converter", "ConversionError",
           "ConverterError", "UsageError", "Result", "SkippedLine", "SCHEMA", "__version__"]
