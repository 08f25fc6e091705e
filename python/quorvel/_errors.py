# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
"""The exceptions of the quorvel package."""
from __future__ import annotations

from typing import Optional


class ConversionError(Exception):
    """An export that could not be converted (or checked).

    ``path`` is the export as given (None for an export held in memory),
    ``line`` the export line the error is about (None when it is about no
    line), ``kind`` one of the converter's error kinds ("missing-input",
    "bad-input", "file-system", "interrupted", "strict", "usage", or a kind
    added later) and ``message`` the converter's message, which names the
    file and line itself.
    """

    def __init__(self, path: Optional[str], line: Optional[int], kind: str, message: str) -> None:
        super().__init__(path, line, kind, message)
        self.path = path
        self.line = line
        self.kind = kind
        self.message = message

    def __str__(self) -> str:
        return self.message


class UsageError(ValueError):
    """Arguments the converter refuses before reading any export, such as
    the factor '0,5' or a template that names one scene for many exports.
    The message is the converter's."""


class ConverterError(RuntimeError):
    """The converter could not be found or run, ended in an unexpected way,
    or printed a report this package cannot read."""
