"""Reads the program's text table (src/base/texts/Texts.txt), for the scripts that check or show
the program in its languages.

The table's format is described at the top of cmake/PlenwickTexts.cmake, which turns it into
the program's string tables.
"""

import re
from pathlib import Path

TABLE = Path(__file__).resolve().parents[1] / "src" / "base" / "texts" / "Texts.txt"

# The locale that gives Wine each language as the user's display language.
LOCALES = {"en": "en_US.UTF-8", "de": "de_DE.UTF-8", "fr": "fr_FR.UTF-8", "es": "es_ES.UTF-8",
           "it": "it_IT.UTF-8", "pt-BR": "pt_BR.UTF-8", "pl": "pl_PL.UTF-8",
           "ru": "ru_RU.UTF-8", "ja": "ja_JP.UTF-8", "zh-CN": "zh_CN.UTF-8",
           "ko": "ko_KR.UTF-8"}


def _unescape(text):
    return re.sub(r"\\([rnt\\])",
                  lambda m: {"r": "\r", "n": "\n", "t": "\t", "\\": "\\"}[m.group(1)], text)


def read(path=TABLE):
    """(languages as [(tag, language id, name)], {text id: {tag: text}})."""
    languages, texts = [], {}
    current = None
    for line in Path(path).read_text(encoding="utf-8").splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        match = re.match(r"^language (\S+) (0x[0-9A-Fa-f]{4}) (.+)$", line)
        if match:
            languages.append((match.group(1), int(match.group(2), 16), match.group(3)))
            continue
        if line.startswith("term "):
            current = None
            continue
        if re.match(r"^[A-Z][A-Za-z0-9]*$", line):
            current = texts.setdefault(line, {})
            continue
        match = re.match(r"^  (\S+) (.+)$", line)
        if match and current is not None:
            current[match.group(1)] = _unescape(match.group(2))
    return languages, texts
