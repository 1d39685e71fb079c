"""Uses of gesturon that the stubs must reject. Each marked line carries the
mypy error code it must draw and the exception it raises at run time; the
unmarked lines set up the names the marked ones use."""

from __future__ import annotations

import gesturon

position = gesturon.bounce(0)
pattern = gesturon.SampledPattern("a", "", [(0.5, 0.0, 0.0)])
library = gesturon.PatternLibrary([pattern])
take = gesturon.SampledRecording("take", ["x"], [[0.5]], 120.0)

gesturon.bounce(3.0)  # rejected: arg-type TypeError
gesturon.bounce("3")  # rejected: arg-type TypeError
gesturon.bounce(pip=3)  # rejected: call-arg TypeError
gesturon.sample("bounce", 1.5)  # rejected: arg-type TypeError
gesturon.sample("bounce", pip=1)  # rejected: call-arg TypeError
gesturon.sample(3, 1)  # rejected: arg-type TypeError
gesturon.catalogue(1)  # rejected: call-arg TypeError
position.x = 1.0  # rejected: misc AttributeError
position.w = 1.0  # rejected: attr-defined AttributeError
gesturon.Offset3()  # rejected: call-arg TypeError
gesturon.Offset3(position)  # rejected: arg-type TypeError
pattern.sample(2.0)  # rejected: arg-type TypeError
pattern.sample(pip=2)  # rejected: call-arg TypeError
pattern.name = "b"  # rejected: misc AttributeError
gesturon.SampledPattern("a", "", [(0.5, 0.0, 0.0)], 64)  # rejected: call-arg TypeError
gesturon.SampledPattern("a", "", [("0.5", 0.0, 0.0)])  # rejected: list-item TypeError
gesturon.SampledPattern(1, "", [(0.5, 0.0, 0.0)])  # rejected: arg-type TypeError
gesturon.SampledPattern("a", "", iter([(0.5, 0.0, 0.0)]))  # rejected: arg-type TypeError
gesturon.PatternLibrary([1])  # rejected: list-item TypeError
gesturon.PatternLibrary(pattern)  # rejected: arg-type TypeError
library.sample("a", 2.0)  # rejected: arg-type TypeError
library.sample(name=1, pip_count=0)  # rejected: arg-type TypeError
gesturon.SampledRecording("take", [1], [[0.5]], 120.0)  # rejected: list-item TypeError
gesturon.SampledRecording("take", ["x"], [["0.5"]], 120.0)  # rejected: list-item TypeError
gesturon.SampledRecording("take", ["x"], [[0.5]], "120")  # rejected: arg-type TypeError
gesturon.SampledRecording("take", ["x"], [[0.5]], 120.0, start_pip=1.0)  # rejected: arg-type TypeError
gesturon.SampledRecording("take", ["x"], [[0.5]])  # rejected: call-arg TypeError
take.sample(1.0)  # rejected: arg-type TypeError
take.bpm = 90.0  # rejected: misc AttributeError
