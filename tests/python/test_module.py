"""The module as Python sees it: import, attributes in order, Offset3."""

import copy
import importlib
import pickle
import sys
import types

import pytest

import gesturon
from gesturon_tools.catalogue import PROCEDURAL_NAMES

CLASSES = ["SampledRecording", "Offset3", "SampledPattern", "PatternLibrary"]


def test_docstring_and_pips_per_beat():
    assert gesturon.__doc__ == "Integer-pip rhythmic position functions"
    assert type(gesturon.PIPS_PER_BEAT) is int and gesturon.PIPS_PER_BEAT == 64


def test_attributes_are_defined_in_their_fixed_order():
    names = [n for n in vars(gesturon) if not n.startswith("__")]
    # The classes that exist stand in their fixed relative order, between the
    # constant and the two catalogue functions.
    present = [c for c in CLASSES if c in names]
    assert "Offset3" in present
    assert names == ["PIPS_PER_BEAT", *present, "sample", "catalogue", *PROCEDURAL_NAMES]


def test_functions_are_the_catalogue_pair_and_the_fifteen():
    functions = [n for n, v in vars(gesturon).items() if callable(v) and not isinstance(v, type)]
    assert functions == ["sample", "catalogue", *PROCEDURAL_NAMES]
    assert not hasattr(gesturon, "wrap_pip")


def test_functions_carry_only_their_generated_signature():
    for name in PROCEDURAL_NAMES:
        doc = getattr(gesturon, name).__doc__
        assert doc.startswith(f"{name}(") and doc.rstrip().endswith("-> gesturon.Offset3")


def test_reimport_yields_the_same_populated_module():
    first = sys.modules.pop("gesturon")
    try:
        again = importlib.import_module("gesturon")
        assert again.bounce(5).as_tuple() == first.bounce(5).as_tuple()
        assert again.__doc__ == first.__doc__
    finally:
        sys.modules["gesturon"] = first


class TestOffset3:
    def test_is_a_class_of_the_module(self):
        assert isinstance(gesturon.Offset3, type)
        assert gesturon.Offset3.__module__ == "gesturon"
        assert gesturon.Offset3.__qualname__ == "Offset3"

    def test_cannot_be_constructed_from_python(self):
        with pytest.raises(TypeError, match=r"^gesturon\.Offset3: No constructor defined!$"):
            gesturon.Offset3()
        with pytest.raises(TypeError, match=r"^gesturon\.Offset3: No constructor defined!$"):
            gesturon.Offset3(1.0, 2.0, 3.0)

    def test_new_without_init_is_refused(self):
        with pytest.raises(TypeError, match=r"^gesturon\.Offset3: No constructor defined!$"):
            gesturon.Offset3.__new__(gesturon.Offset3)

    def test_fields_are_read_only_floats(self):
        p = gesturon.helix(32)
        assert all(type(v) is float for v in (p.x, p.y, p.z))
        for field in ("x", "y", "z"):
            with pytest.raises(AttributeError):
                setattr(p, field, 1.0)
            with pytest.raises(AttributeError):
                delattr(p, field)
        with pytest.raises(AttributeError):
            p.w = 1.0
        assert not hasattr(p, "__dict__")

    def test_as_tuple_returns_a_new_tuple_of_the_fields(self):
        p = gesturon.helix(32)
        t = p.as_tuple()
        assert type(t) is tuple and t == (p.x, p.y, p.z)
        assert p.as_tuple() is not t

    def test_equality_is_identity_and_values_compare_through_as_tuple(self):
        a, b = gesturon.bounce(0), gesturon.bounce(0)
        assert a != b and a == a
        assert a.as_tuple() == b.as_tuple()
        assert hash(a) != hash(b) or a is b  # identity hash, no value hash of its own

    def test_no_representation_of_its_own(self):
        assert repr(gesturon.bounce(0)).startswith("<gesturon.Offset3 object at ")

    def test_members_require_an_offset3(self):
        with pytest.raises(TypeError):
            gesturon.Offset3.as_tuple(object())
        with pytest.raises(TypeError):
            gesturon.Offset3.x.__get__(object())

    @pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
    def test_pickling_is_refused_for_every_protocol(self, protocol):
        with pytest.raises(TypeError, match=r"^cannot pickle 'gesturon\.Offset3' object$"):
            pickle.dumps(gesturon.bounce(3), protocol)

    @pytest.mark.parametrize("copier", [copy.copy, copy.deepcopy])
    def test_copying_is_refused(self, copier):
        with pytest.raises(TypeError, match=r"^cannot pickle 'gesturon\.Offset3' object$"):
            copier(gesturon.bounce(3))


def test_module_is_a_plain_extension_module():
    assert isinstance(gesturon, types.ModuleType)
    assert gesturon.__spec__.name == "gesturon"
