#!/bin/sh
# Installs the package with pip into a scratch directory, offline, and imports it from
# there (away from the source tree). Arguments: python, package source, scratch directory.
set -eu
python=$1 src=$2 scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch"
# A copy of the source, so the build leaves nothing behind in the tree.
cp -r "$src/orvane" "$src/pyproject.toml" "$src/README.md" "$scratch/"
mkdir "$scratch/site"
PIP_NO_INDEX=1 "$python" -m pip install --quiet --no-build-isolation --no-deps \
    --target "$scratch/site" "$scratch"
export XDG_CONFIG_HOME="$scratch/config" HOME="$scratch" ORVANE_SHM_NAME="/orvane-pyinstall-$$"
cd "$scratch/site"
PYTHONPATH="$scratch/site" "$python" -c '
import orvane, os, sys
assert orvane.__file__.startswith(os.getcwd()), orvane.__file__
print("installed", orvane.__version__, "dll version 0x%08x" % orvane.dll_version())
print("cameras:", orvane.cameras(virtual=True))
'
