#!/usr/bin/env python3
"""The fault matrix's judgement of wrong data that a checksum cannot see: it is the line's
doing only where a cancelling pair of flips lies inside the block that holds it."""

import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts" / "lib"))

from fault_ops import WRONG, Undetectable, compare, even_blocks, frames  # noqa: E402
from faults import cancelling_pairs  # noqa: E402

BLOCK = 16


def judged(changes, log):
    """compare() of 64 zero bytes against the same with `changes` {position: new byte},
    in blocks of 16 with an 8-bit sum; then the blocks no pair of the log explains."""
    expected = {p: 0x40 for p in range(64)}
    actual = expected | changes
    judgement = compare(expected, actual, even_blocks(0, BLOCK), 256)
    if not isinstance(judgement, Undetectable):
        return judgement
    return len(judgement.unexplained(cancelling_pairs(log)))


class UndetectableNeedsAPairInTheBlock(unittest.TestCase):
    def test_cases(self):
        pair_3_apart_bit_2 = "fault cancel-in 100+103 bit 2\n"
        cases = [
            ("a pair inside one block", {4: 0x44, 7: 0x3C}, pair_3_apart_bit_2, 0),
            ("the log names another distance", {4: 0x44, 9: 0x3C}, pair_3_apart_bit_2, 1),
            ("the log names another bit", {4: 0x42, 7: 0x3E}, pair_3_apart_bit_2, 1),
            ("no cancelling fault at all", {4: 0x44, 7: 0x3C}, "fault corrupt-in 5 bit 2\n", 1),
            ("an unpaired flip pairs nothing", {4: 0x44, 7: 0x3C},
             "fault cancel-in 100 bit 2 unpaired\n", 1),
            ("one pair, two blocks with cancelling changes", {4: 0x44, 7: 0x3C, 20: 0x44,
                                                              23: 0x3C}, pair_3_apart_bit_2, 1),
            ("two pairs, two blocks", {4: 0x44, 7: 0x3C, 20: 0x44, 23: 0x3C},
             pair_3_apart_bit_2 + "fault cancel 7+10 bit 2\n", 0),
            ("the second flip on the checksum just past the data", {13: 0x44},
             pair_3_apart_bit_2, 0),
            ("a lone change with no flip on the checksum", {4: 0x44}, pair_3_apart_bit_2, 1),
            ("changes that no flip can cancel are wrong", {4: 0x47}, pair_3_apart_bit_2, WRONG),
            ("a pair across two blocks is seen by both sums", {14: 0x44, 17: 0x3C},
             pair_3_apart_bit_2, 2),
            ("two single flips of one bit, one way", {4: 0x44, 13: 0x3C},
             "fault corrupt 50 bit 2\nfault corrupt 59 bit 2\n", 0),
            ("two single flips, each on its own way", {4: 0x44, 13: 0x3C},
             "fault corrupt 50 bit 2\nfault corrupt-in 59 bit 2\n", 1),
            ("two flips of the top bit the same way cancel in a byte sum", {4: 0xC0, 13: 0xC0},
             "fault corrupt 50 bit 7\nfault corrupt 59 bit 7\n", 0),
            ("two aimed flips of one bit, one way", {4: 0x44, 13: 0x3C},
             "fault phase echo in 50 bit 2\nfault phase echo in 59 bit 2\n", 0),
        ]
        for name, changes, log, expected in cases:
            with self.subTest(name):
                self.assertEqual(judged(changes, log), expected)


class TheLastBlockEndsWithTheData(unittest.TestCase):
    def test_a_flip_on_the_checksum_after_a_short_last_block(self):
        # 40 bytes in frames of 16 and then up to 100, or in blocks of 16: the last one ends
        # at 40, where its sum begins, 3 bytes after the changed one.
        expected = {p: 0x40 for p in range(40)}
        for blocks in (frames((16, 100), 40), even_blocks(0, 16, 40)):
            judgement = compare(expected, expected | {37: 0x44}, blocks, 256)
            pairs = cancelling_pairs("fault cancel 7+10 bit 2\n")
            self.assertEqual(len(judgement.unexplained(pairs)), 0)


if __name__ == "__main__":
    unittest.main()
