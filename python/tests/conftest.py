import os
import pathlib

import pytest

CORPUS = pathlib.Path(os.environ.get("DRAVIK_CORPUS_DIR", "/work/shared/corpus"))


def corpus_drawings():
    return sorted(CORPUS.glob("*.jww")) if CORPUS.is_dir() else []


@pytest.fixture
def jww_tool():
    tool = os.environ.get("DRAVIK_JWW_TOOL")
    if not tool:
        pytest.skip("DRAVIK_JWW_TOOL names no jww tool")
    return tool


@pytest.fixture
def list_tool():
    tool = os.environ.get("DRAVIK_LIST_TOOL")
    if not tool:
        pytest.skip("DRAVIK_LIST_TOOL names no dravik-list")
    return tool
