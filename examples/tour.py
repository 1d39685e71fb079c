"""Prints where a few gesturon patterns are, pip by pip, over one beat."""

import gesturon

PATTERNS = ["bounce", "circle", "helix", "single_paradiddle"]
STEP = gesturon.PIPS_PER_BEAT // 8  # every thirty-second note


def main() -> None:
    print(f"{'pip':>4}  " + "  ".join(f"{name:^26}" for name in PATTERNS))
    for pip in range(0, gesturon.PIPS_PER_BEAT + 1, STEP):
        cells = []
        for name in PATTERNS:
            x, y, z = gesturon.sample(name, pip).as_tuple()
            cells.append(f"{x:+.4f} {y:+.4f} {z:+.4f}")
        print(f"{pip:>4}  " + "  ".join(cells))


if __name__ == "__main__":
    main()
