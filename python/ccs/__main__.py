"""python3 -m ccs plot RESULT.json -o out.png: draws the results of the ccs
program's JSON output (or of ccs.write_json)."""
from __future__ import annotations

import argparse
import sys
from typing import Optional, Sequence


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m ccs", description=__doc__)
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("plot", help="draw results from JSON (ccs --json [--per-orientation])")
    p.add_argument("json", help="JSON results file")
    p.add_argument("-o", "--output", default=None, help="image file (PNG, SVG, PDF; default: JSON name .png)")
    p.add_argument("--dpi", type=float, default=100)
    args = parser.parse_args(argv)

    from .plot import plot_json

    output = args.output or (args.json[:-5] if args.json.endswith(".json") else args.json) + ".png"
    try:
        plot_json(args.json, output, dpi=args.dpi)
    except (OSError, ValueError) as e:
        print(f"ccs plot: {e}", file=sys.stderr)
        return 1
    print(output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
