import json
import os
import subprocess

import pytest


RECTOOL = os.environ.get("RECTOOL", "rectool")


def rectool(*args):
    result = subprocess.run([RECTOOL, *map(str, args)], capture_output=True, timeout=240)
    assert result.returncode == 0, (args, result.stderr.decode())
    return result.stdout


def rectool_json(*args):
    return json.loads(rectool(*args, "--json"))


def write_demo(path, packages=6000):
    rectool("demo", path, "--packages", packages)
    return str(path)


@pytest.fixture(scope="session")
def demo(tmp_path_factory):
    return write_demo(tmp_path_factory.mktemp("demo") / "demo.rec")
