"""Holds each fixed fact of the component to one home in the sources.

A result code, a message or the component's name typed again beside its home
compiles and passes every other test until the two copies drift apart; these
cases find the second copy first. Run: python3 vocabulary_test.py [-v].
"""

import pathlib
import re
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
# The component's own code: what the platform loads.
CORE = ["platform", "support", "resources", "host", "equipment", "device", "transport",
        "driver", "native", "com"]

RESULT_CODES = ROOT / "support" / "result_codes.h"
TEXTS = ROOT / "support" / "texts.h"
PRODUCT = ROOT / "support" / "product.h"

LITERAL = re.compile(r'u"((?:[^"\\]|\\.)*)"')
INT_CONSTANT = re.compile(r"constexpr\s+u?int(?:32|64)_t\s+(\w+)\s*=\s*(\d+)\s*;")


def core_sources():
    for folder in CORE:
        for path in sorted((ROOT / folder).rglob("*")):
            if path.suffix in (".cpp", ".h"):
                yield path


def result_codes():
    """The codes of the header but 0, which every vocabulary has for success."""
    return {int(value): name
            for name, value in INT_CONSTANT.findall(RESULT_CODES.read_text(encoding="utf-8"))
            if int(value) != 0}


def texts_literals():
    """Each constant of texts.h, joined from its adjacent literals."""
    source = TEXTS.read_text(encoding="utf-8")
    found = {}
    for m in re.finditer(r"constexpr std::u16string_view (\w+) =\s*((?:u\"(?:[^\"\\]|\\.)*\"\s*)+);",
                         source):
        found[m.group(1)] = "".join(LITERAL.findall(m.group(2)))
    return found


def literals_of(path):
    """The UTF-16 literals of a file, adjacent ones joined as the compiler joins them."""
    source = path.read_text(encoding="utf-8")
    joined = []
    for run in re.finditer(r'(?:u"(?:[^"\\]|\\.)*"\s*)+', source):
        joined.append("".join(LITERAL.findall(run.group(0))))
    return joined


class VocabularyTest(unittest.TestCase):
    def test_result_codes_are_defined_once(self):
        codes = result_codes()
        self.assertIn(1001, codes, "the result-code header lost 1001")
        twice = []
        for path in core_sources():
            if path == RESULT_CODES:
                continue
            for name, value in INT_CONSTANT.findall(path.read_text(encoding="utf-8")):
                if int(value) in codes:
                    twice.append(f"{path.relative_to(ROOT)}: {name} = {value} "
                                 f"(use {codes[int(value)]})")
        self.assertEqual(twice, [])

    def test_texts_are_written_once(self):
        texts = texts_literals()
        self.assertIn("kNoErrors", texts, "texts.h lost its constants")
        by_text = {}
        for name, text in texts.items():
            self.assertNotIn(text, by_text, f"{name} repeats {by_text.get(text)}")
            by_text[text] = name
        twice = []
        for path in core_sources():
            if path == TEXTS:
                continue
            for literal in literals_of(path):
                if literal in by_text:
                    twice.append(f"{path.relative_to(ROOT)}: \"{literal}\" "
                                 f"(use texts::{by_text[literal]})")
        self.assertEqual(twice, [])

    def test_product_name_is_written_once(self):
        name = re.search(r'#define FR_PRODUCT_NAME "([^"]+)"',
                         PRODUCT.read_text(encoding="utf-8")).group(1)
        twice = [str(path.relative_to(ROOT)) for path in core_sources()
                 if path != PRODUCT and name in path.read_text(encoding="utf-8")]
        self.assertEqual(twice, [])


if __name__ == "__main__":
    unittest.main()
