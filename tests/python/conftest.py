"""Hypothesis profiles: the default keeps the property tests quick enough for
every run of the test command; `pytest --hypothesis-profile soak` runs 10^5
examples per property."""

from hypothesis import HealthCheck, settings

settings.register_profile("default", max_examples=200, deadline=None,
                          suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
settings.register_profile("soak", max_examples=100_000, deadline=None,
                          suppress_health_check=list(HealthCheck))
settings.load_profile("default")
