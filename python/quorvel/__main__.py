# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
"""python -m quorvel ARGS...: runs the converter with ARGS, its exit status kept."""
import sys

from ._errors import ConverterError
from ._run import exec_converter


def main() -> int:
    try:
        return exec_converter(sys.argv[1:])
    except ConverterError as error:
        print(f"python -m quorvel: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
