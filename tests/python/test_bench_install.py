"""The install benchmark's reading of a Ninja log: steps with several
outputs count once, a step run again counts at its last run, and each step
lands in the part of the build it belongs to."""

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
import bench_install as bench  # noqa: E402

GEN = "src/packs/generated"
LOG = "\n".join([
    "# ninja log v6",
    "0\t4000\t1\tsrc/packs/CMakeFiles/gesturon_pack_generator.dir/generator/atlas.cpp.o\taa",
    "0\t900\t1\tsrc/beats/CMakeFiles/gesturon_beats.dir/score.cpp.o\tbb",
    "900\t1500\t1\tsrc/beats/CMakeFiles/gesturon_beats.dir/score.cpp.o\tbb",  # run again
    "4000\t4300\t1\tsrc/packs/gesturon_pack_generator\tcc",
    f"4300\t9300\t1\t{GEN}/pack_rows.bin\tdd",
    f"4300\t9300\t1\t{GEN}/pack_rows.S\tdd",
    f"4300\t9300\t1\t{GEN}/pack_data.cpp\tdd",
    f"9300\t9800\t1\tsrc/packs/CMakeFiles/gesturon_packs.dir/generated/pack_rows.S.o\tee",
    f"9300\t11300\t1\tsrc/packs/CMakeFiles/gesturon_packs.dir/generated/pack_data.cpp.o\tff",
    "11300\t11400\t1\tsrc/packs/libgesturon_packs.a\tgg",
    "11400\t12400\t1\tpython/gesturon.cpython-311-x86_64-linux-gnu.so\thh",
]) + "\n"


@pytest.fixture
def jobs(tmp_path):
    path = tmp_path / ".ninja_log"
    path.write_text(LOG, encoding="utf-8")
    return bench.read_ninja_log(path)


def test_a_step_with_several_outputs_is_one_job(jobs):
    generating = [job for job in jobs if len(job.outputs) > 1]
    assert len(jobs) == 8 and len(generating) == 1
    assert sorted(Path(o).name for o in generating[0].outputs) == sorted(bench.generated_tables())


@pytest.mark.parametrize("kind, seconds, count", [
    (bench.GENERATOR, 4.0, 1),
    (bench.GENERATING, 5.0, 1),
    (bench.TABLES, 2.5, 2),
    (bench.OTHER, 0.6, 1),  # the later of its two runs
    (bench.LINKING, 1.4, 3),
])
def test_jobs_are_summed_by_kind(jobs, kind, seconds, count):
    tables = bench.generated_tables()
    mine = [job for job in jobs if bench.kind_of(job, tables) == kind]
    assert len(mine) == count
    assert sum(job.seconds for job in mine) == pytest.approx(seconds)


@pytest.mark.parametrize("first_line", ["", "# ninja log v4", "0\t1\t1\ta.o\taa"])
def test_only_logs_of_version_5_or_later_are_read(tmp_path, first_line):
    path = tmp_path / ".ninja_log"
    path.write_text(first_line + "\n", encoding="utf-8")
    with pytest.raises(ValueError):
        bench.read_ninja_log(path)


def test_overlap_and_wall_shares(jobs):
    # Only the beat library's compile runs beside the generator's; the
    # shares of the wall time add up to the span, overlap counted once.
    assert bench.most_at_once(jobs) == 2
    shares = bench.wall_shares(jobs)
    assert sum(shares) == pytest.approx(12.4)
    assert shares[:2] == pytest.approx([4.0 - 0.3, 0.3])
