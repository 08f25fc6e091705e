# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
"""The wheel's tag: its Python code runs on any Python 3, but the converter
inside is built for one platform, which python/build-wheels names in
QUORVEL_WHEEL_PLATFORM (such as win_amd64)."""
import os

from setuptools import Distribution, setup
from wheel.bdist_wheel import bdist_wheel


class ProgramDistribution(Distribution):
    """Holds a compiled program: installed where platform-specific files go."""

    def has_ext_modules(self):
        return True


class PlatformWheel(bdist_wheel):
    def get_tag(self):
        # bdist_wheel would turn the dots of a compressed tag set into
        # underscores: the platform is returned as given.
        return "py3", "none", os.environ["QUORVEL_WHEEL_PLATFORM"]


setup(distclass=ProgramDistribution, cmdclass={"bdist_wheel": PlatformWheel})
