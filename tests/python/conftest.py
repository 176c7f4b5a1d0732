import pytest
from hypothesis import HealthCheck, settings

import model
import velquist

# Derandomized: a verdict never depends on the run; modest sizes keep the suite fast under ASan too.
base = settings(derandomize=True, database=None, deadline=None, max_examples=model.scaled(150))
settings.register_profile("velquist", base, suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
settings.load_profile("velquist")


@pytest.fixture(scope="session")
def testing():
    if (hooks := getattr(velquist, "_testing", None)) is None:
        pytest.skip("needs the testing build (VELQUIST_TESTING=ON)")
    return hooks
