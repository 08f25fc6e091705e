#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
"""A render farm job that converts one shot with the quorvel package.

    farm-job.py [--factor F] [--no-trackers] [--strict] [--report FILE] EXPORT SCENE

The farm runs one job per shot. The exit status is the job's status: 0 the
scene is written, 1 the shot failed (its export cannot be converted, or a
warning with --strict), 2 the job's arguments are wrong, 3 the converter
cannot be run. The report, one JSON object for the farm's bookkeeping, goes
to FILE (put in place whole, so a watcher never reads half of it) or to
standard output: the job's status, host, seconds taken, the package's
version and the conversion's result (frames, trackers, warnings, error
with its kind and line).
"""
import argparse
import json
import os
import socket
import sys
import tempfile
import time

import quorvel


def write_report(report, path):
    text = json.dumps(report, indent=2) + "\n"
    if path is None:
        sys.stdout.write(text)
        return
    folder = os.path.dirname(os.path.abspath(path))
    fd, temporary = tempfile.mkstemp(dir=folder, prefix=".job-", suffix=".json")
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as file:
            file.write(text)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def main():
    parser = argparse.ArgumentParser(description="Convert one shot's export into its scene file.")
    parser.add_argument("export")
    parser.add_argument("scene")
    parser.add_argument("--factor", default="1", help="tracked point scale, as text (default 1)")
    parser.add_argument("--no-trackers", action="store_true", help="write the camera only")
    parser.add_argument("--strict", action="store_true", help="fail the shot on any warning")
    parser.add_argument("--report", help="write the job's report here instead of standard output")
    args = parser.parse_args()

    started = time.monotonic()
    report = {"status": "failed", "host": socket.gethostname(), "quorvel": quorvel.__version__,
              "export": args.export, "scene": args.scene}
    code = 1
    try:
        result = quorvel.convert(args.export, args.scene, trackers=not args.no_trackers, factor=args.factor,
                                 strict=args.strict)
        report["status"], report["result"], code = "done", result.as_dict(), 0
        for warning in result.warnings:
            print(f"warning: {warning.message}", file=sys.stderr)
    except quorvel.ConversionError as error:
        report["result"] = {"ok": False, "error": {"kind": error.kind, "line": error.line,
                                                   "message": error.message}}
        print(error, file=sys.stderr)
    except quorvel.UsageError as error:
        report["status"], report["error"], code = "usage", str(error), 2
        print(error, file=sys.stderr)
    except quorvel.ConverterError as error:
        report["status"], report["error"], code = "no-converter", str(error), 3
        print(error, file=sys.stderr)
    report["seconds"] = round(time.monotonic() - started, 3)
    write_report(report, args.report)
    return code


if __name__ == "__main__":
    sys.exit(main())
