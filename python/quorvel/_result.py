# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
"""What one conversion gave: the converter's JSON report record as objects."""
from __future__ import annotations

import dataclasses
from typing import Any, Dict, Optional, Tuple

from ._errors import ConversionError, ConverterError

#: The version of the converter's JSON report this package reads.
SCHEMA = 2


@dataclasses.dataclass(frozen=True)
class Warning:  # noqa: A001 - the name callers know from the converter's messages
    """A warning of a successful conversion, other than a skipped tracker
    line: ``kind`` such as "frame-rate" or "impossible-value", the export
    ``line`` it is about (or None) and the converter's ``message``."""

    kind: str
    line: Optional[int]
    message: str


@dataclasses.dataclass(frozen=True)
class SkippedLine:
    """A tracker line that was skipped: its ``line`` number and ``reason``."""

    line: int
    reason: str


@dataclasses.dataclass(frozen=True)
class Result:
    """How one export went.

    ``output`` is the scene file (None for a check and for an export
    converted in memory); ``written`` is True when the new scene is there
    (or, in memory, was returned). When the conversion failed, ``error``
    holds its ConversionError and the values from ``frames`` to ``trackers``
    are None. ``skipped`` lists at most the first 1000 skipped tracker
    lines; ``skipped_count`` counts them all.
    """

    input: str
    output: Optional[str]
    written: bool
    frames: Optional[int]
    first_frame: Optional[int]
    last_frame: Optional[int]
    image_width: Optional[int]
    image_height: Optional[int]
    aspect: Optional[str]
    frame_rate_found: Optional[float]
    frame_rate_written: Optional[int]
    trackers: Optional[int]
    skipped_count: int
    skipped: Tuple[SkippedLine, ...]
    warnings: Tuple[Warning, ...]
    error: Optional[ConversionError]

    @property
    def ok(self) -> bool:
        """True when the export was converted (or, for a check, would be)."""
        return self.error is None

    def as_dict(self) -> Dict[str, Any]:
        """The result as plain values, ready for json.dumps."""
        values = {f.name: getattr(self, f.name) for f in dataclasses.fields(self)}
        values["ok"] = self.ok
        values["skipped"] = [dataclasses.asdict(s) for s in self.skipped]
        values["warnings"] = [dataclasses.asdict(w) for w in self.warnings]
        if self.error is not None:
            values["error"] = {"kind": self.error.kind, "line": self.error.line, "message": self.error.message}
        return values


def _field(record: Dict[str, Any], name: str, kind: Any) -> Any:
    value = record.get(name)
    # JSON's true and false are Python ints too: a count must not be one.
    wrong_type = value is not None and not isinstance(value, kind)
    if wrong_type or (isinstance(value, bool) and kind is not bool):
        raise ConverterError(f"the converter's report has {name}={value!r}, which this package cannot read")
    return value


def _number(value: Any) -> Optional[float]:
    return None if value is None else float(value)


def parse_record(record: Any, given_input: Optional[str], output: Optional[str] = None) -> Result:
    """One record of the report as a Result. ``given_input`` is the export
    as the caller named it (the report holds what the converter was given);
    ``output``, when not None, replaces the record's output."""
    if not isinstance(record, dict):
        raise ConverterError(f"the converter's report holds {record!r}, not a record")
    try:
        error = record["error"]
        if error is not None:
            error = ConversionError(given_input, _field(error, "line", int), str(error["kind"]),
                                    str(error["message"]))
        skipped = tuple(SkippedLine(int(s["line"]), str(s["reason"])) for s in record["skipped"])
        warnings = tuple(Warning(str(w["kind"]), _field(w, "line", int), str(w["message"]))
                         for w in record["warning_details"])
        return Result(
            input=given_input if given_input is not None else str(record["input"]),
            output=output if output is not None else _field(record, "output", str),
            written=bool(_field(record, "written", bool)),
            frames=_field(record, "frames", int),
            first_frame=_field(record, "first_frame", int),
            last_frame=_field(record, "last_frame", int),
            image_width=_field(record, "image_width", int),
            image_height=_field(record, "image_height", int),
            aspect=_field(record, "aspect", str),
            frame_rate_found=_number(_field(record, "frame_rate_found", (int, float))),
            frame_rate_written=_field(record, "frame_rate_written", int),
            trackers=_field(record, "trackers", int),
            skipped_count=_field(record, "skipped_count", int) or 0,
            skipped=skipped,
            warnings=warnings,
            error=error)
    except (KeyError, TypeError, ValueError) as missing:
        raise ConverterError(f"the converter's report record lacks or garbles {missing}: {record!r}") from None
