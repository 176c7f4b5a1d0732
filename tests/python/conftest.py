import pytest

import velquist


@pytest.fixture(scope="session")
def testing():
    hooks = getattr(velquist, "_testing", None)
    if hooks is None:
        pytest.skip("needs the testing build (VELQUIST_TESTING=ON)")
    return hooks
