// Tests of the spellfile: extraction, merge and the round trip between them.
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "msgproof.h"
#include "support.h"
#include "test_files.h"

namespace {

std::string extract(const std::string& po, bool strict = false,
                    const char* language = nullptr) {
  MemoryOutput spellfile;
  extract_translations(read_from(po), nullptr, spellfile.stream, strict,
                       language);
  return spellfile.text();
}

std::string merge(const std::string& po, const std::string& spellfile,
                  bool strict = false, const char* language = nullptr) {
  MemoryOutput output;
  merge_translations(read_from(po), read_from(spellfile), output.stream, strict,
                     language);
  return output.text();
}

std::string split(const std::string& text) {
  std::string out(2 * text.size() + 1, '\0');
  split_after_escapes(text.c_str(), out.data());
  return out.c_str();
}

std::string join(const std::string& text) {
  std::string out(text.size() + 1, '\0');
  join_split_strings(text.c_str(), out.data());
  return out.c_str();
}

const char header[] =
    "# German translation.\n"
    "msgid \"\"\n"
    "msgstr \"\"\n"
    "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
    "\n";

}  // namespace

TEST(Extract, WritesOneLineForEachPoLine) {
  struct Case {
    const char* name;
    std::string po;
    std::string want;
  };
  const Case cases[] = {
      {"header entry is never handed over", header, "#\n>\n)\n]\n\n"},
      {"message with a translation",
       "#: main.c:10\nmsgid \"File\"\nmsgstr \"Datei\"\n",
       "#\n>\n+ \"Datei\"\n"},
      {"msgid on several lines counts as non-empty",
       "msgid \"\"\n\"Long \"\n\"text\"\nmsgstr \"\"\n\"Langer \"\n\"Text\"\n",
       ">\n]\n]\n+ \"\"\n\"Langer \"\n\"Text\"\n"},
      {"plural entry",
       "msgid \"file\"\nmsgid_plural \"files\"\nmsgstr[0] \"Datei\"\n"
       "msgstr[1] \"Dateien\"\n",
       ">\n>\n+ \"Datei\"\n+ \"Dateien\"\n"},
      {"empty msgid_plural hands nothing over",
       "msgid \"a\"\nmsgid_plural \"\"\nmsgstr[0] \"x\"\nmsgstr[1] \"y\"\n",
       ">\n>\n)\n)\n"},
      {"untranslated entry is handed over", "msgid \"a\"\nmsgstr \"\"\n",
       ">\n+ \"\"\n"},
      {"indented lines; blank-only line",
       "  msgid \"a\"\n\tmsgstr \"b\"\n   \"c\"\n \t\n  # note\n",
       ">\n+ \"b\"\n\"c\"\n\n#\n"},
      {"context is part of the key",
       "msgctxt \"menu\"\n\"bar\"\nmsgid \"Open\"\nmsgstr \"Offnen\"\n",
       ">\n]\n>\n+ \"Offnen\"\n"},
      {"obsolete entries are comments",
       "#~ msgctxt \"x\"\n#~ msgid \"a\"\n#~ msgstr \"b\"\n", "#\n#\n#\n"},
      {"unknown keyword and stray string", "\"stray\"\nmsgfoo \"x\"\n",
       "? \"stray\"\n? msgfoo \"x\"\n"},
      {"string lines after an unknown line continue the msgstr",
       "msgid \"a\"\nmsgstr \"b\"\nmsgfoo\n\"c\"\n",
       ">\n+ \"b\"\n? msgfoo\n\"c\"\n"},
      {"msgstr without a string stays with the PO file",
       "msgid \"a\"\nmsgstr\n", ">\n)\n"},
      {"escapes before letters are split",
       "msgid \"a\"\nmsgstr \"Zeile\\nZeile\"\n",
       ">\n+ \"Zeile\\n\" \"Zeile\"\n"},
      {"last line without a newline", "msgid \"a\"\nmsgstr \"b\"",
       ">\n+ \"b\""},
      {"CRLF lines", "msgid \"a\"\r\nmsgstr \"b\"\r\n\r\n",
       ">\n+ \"b\"\r\n? \r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.want, extract(c.po)) << c.name;
  }
}

TEST(Extract, LanguageIsLookedForBeforeTheString) {
  const std::string po =
      "msgid \"a\"\nmsgid_plural \"b\"\nmsgstr[0] \"x1\"\nmsgstr[1] \"y1\"\n"
      "\"cont\"\n";
  EXPECT_EQ(">\n>\n)\n+ \"y1\"\n\"cont\"\n", extract(po, false, "1"));
  EXPECT_EQ(">\n>\n)\n)\n]\n", extract(po, false, "2"));
  EXPECT_EQ(">\n>\n)\n)\n]\n", extract(po, false, "y"))
      << "text inside the string does not count";
}

TEST(Extract, CopyGetsEveryLineUnchanged) {
  const std::string po = std::string(header) + "msgid \"a\"\nmsgstr \"b\"";
  MemoryOutput copy, spellfile;
  extract_translations(read_from(po), copy.stream, spellfile.stream, false,
                       nullptr);
  EXPECT_EQ(po, copy.text());
}

TEST(Extract, StrictModeRefusesUnknownLines) {
  EXPECT_EXIT(extract("msgid \"a\"\nmsgstr \"b\"\n  msgfoo \"x\"\n", true),
              testing::ExitedWithCode(1),
              "^msgproof: error: I don't understand this line in the \\.po "
              "file:\n  msgfoo \"x\"\\.\n$");
  EXPECT_EXIT(extract("msgid \"a\"\nmsgstr \"b\"\nmsgfoo", true),
              testing::ExitedWithCode(1), "file:\nmsgfoo\\.\n$")
      << "no character of a last line without newline is cut";
  EXPECT_EQ(">\n]\n>\n+ \"b\"\n",
            extract("msgctxt \"c\"\n\"d\"\nmsgid \"a\"\nmsgstr \"b\"\n", true));
}

TEST(SplitAfterEscapes, EndsTheLiteralAfterAnEscapeThatALetterFollows) {
  struct Case {
    const char* text;
    const char* want;
  };
  constexpr Case cases[] = {
      {R"("a\nb")", R"("a\n" "b")"},
      {R"("a\tb\rc")", R"("a\t" "b\r" "c")"},
      {R"("a\vZ")", R"("a\v" "Z")"},
      {R"("a\xb")", R"("a\xb")"},            // x to z are not split
      {R"("a\n1 \n b")", R"("a\n1 \n b")"},  // digit or space follows
      {R"("a\\nb")", R"("a\\nb")"},          // an escaped backslash
      {R"("a\"b")", R"("a\"b")"},
      {"\"a\\n\xe4\"", "\"a\\n\xe4\""},  // bytes above 127 are no letters
      {"\"a\\", "\"a\\"},
      {R"("\n\nx")", R"("\n\n" "x")"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.want, split(c.text)) << c.text;
  }
}

TEST(JoinSplitStrings, JoinsAdjacentLiterals) {
  struct Case {
    const char* text;
    const char* want;
  };
  constexpr Case cases[] = {
      {R"("a\n" "b")", R"("a\nb")"},
      {R"("a" "b")", R"("ab")"},
      {R"("a" "" "b")", R"("a" "b")"},  // the second boundary stays
      {R"(" "x")", R"(" "x")"},         // a boundary at the start stays
      {R"("a" "\" " "b")", R"("a\" b")"},
      {R"("a\" "b")", R"("a\" "b")"},  // an escaped quote starts none
      {R"("a\)", R"("a\)"},
      {R"("a")", R"("a")"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.want, join(c.text)) << c.text;
  }
}

TEST(Merge, UnchangedSpellfileGivesThePoFileBack) {
  const std::string samples[] = {
      std::string(header) +
          "#: a.c:1\n#, c-format\nmsgid \"%d file\"\nmsgid_plural \"%d "
          "files\"\nmsgstr[0] \"%d Datei\"\nmsgstr[1] \"%d Dateien\"\n\n"
          "msgctxt \"menu\"\nmsgid \"\"\n\"Open\"\nmsgstr \"\"\n\"\\tOffnen\\n"
          "Zeile\\\\n\"\n\n#~ msgid \"old\"\n#~ msgstr "
          "\"alt\"\n",
      "  # indented\n  msgid \"a\"\n  msgstr[1] \"b\"\nmsgfoo \"?\"\n"
      "msgid \"x\"\nmsgstr \"y\"",
      "msgid \"a\"\r\nmsgstr \"b\\r\\nc\"\r\n\r\nmsgid \"c\"\r\nmsgstr "
      "\"\"\r\n",
      "msgid \"\xe4\"\nmsgstr \"\xf6\\n\xfc\"\n",  // Latin-1
      "msgid \"a\"\nmsgstr\n\"b\"\n",
      "",
  };
  for (const std::string& po : samples) {
    for (const char* language : {(const char*)nullptr, "1"}) {
      EXPECT_EQ(po, merge(po, extract(po, false, language), false, language))
          << po << "language " << (language ? language : "none");
    }
  }
}

TEST(Merge, NamedNormalisationsOnly) {
  const std::string po =
      "msgid \"a\"\nmsgstr \"b\" \"c\"\n   \"d\"\n \t\n\"a\\\" \" \"b\"\n";
  EXPECT_EQ("msgid \"a\"\nmsgstr \"bc\"\n\"d\"\n\n\"a\\\" b\"\n",
            merge(po, extract(po)));
}

TEST(Merge, TakesTheProgramsChanges) {
  const std::string po =
      "msgid \"a\"\n  msgstr[1] \"Dtaei\"\n  \"Zeile\\nZeile\"\n";
  EXPECT_EQ("msgid \"a\"\n  msgstr[1] \"Datei\"\n\"Zeile\\nZiele\"\n",
            merge(po, ">\n+ \"Datei\"\n\"Zeile\\n\" \"Ziele\"\n"));
}

TEST(Merge, OnlyTheFirstCharacterOfAMarkerCounts) {
  const std::string po = "# c\nmsgid \"a\"\nmsgstr \"b\"\n";
  EXPECT_EQ("# c\nmsgid \"a\"\nmsgstr \"B\"\n",
            merge(po, "#xyz\n> more\n+junk \"B\"\n"));
}

TEST(Merge, QuestionMarkLinesComeBackFromTheSpellfile) {
  const std::string po = "msgfoo\nmsgid \"a\"\nmsgstr \"b\"\n";
  EXPECT_EQ("msgbar\n\nmsgid \"a\"\nmsgstr \"b\"\n",
            merge(po, "? msgbar\n?\n>\n+ \"b\"\n"));
  EXPECT_EQ("msgid \"a\"\nmsgstr \"b\"\n", merge(po, ">\n+ \"b\"\n?"))
      << "a lone ? at the very end";
}

TEST(Merge, FailsWithoutLosingTheRestOfThePoFile) {
  const std::string po = "# c\nmsgid \"a\"\nmsgstr \"b\"\n\"c\"\n";
  struct Case {
    const char* name;
    std::string spellfile;
    bool strict;
    const char* message;
  };
  const Case cases[] = {
      {"letter", "#\nxyz\n", false,
       "unknown content in the spell file:\nxyz\\.\n$"},
      {"space", "#\n >\n", false,
       "unknown content in the spell file:\n >\\.\n$"},
      {"question mark when strict", "? x\n", true,
       "unknown content in the spell file:\n\\? x\\.\n$"},
      {"cut short", "#\n>\n", false,
       "the spell file ends before this line of the \\.po file:\n"
       "msgstr \"b\"\\.\n$"},
      {"empty", "", false,
       "ends before this line of the \\.po file:\n# c\\.\n$"},
      {"marker without a line", "#\n>\n+ \"b\"\n#\n", false,
       "has no line left in the \\.po file:\n#\\.\n$"},
      {"translation without a string", "#\n>\n+ b\n", false,
       "translation without a string in the spell file:\n\\+ b\\.\n$"},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(merge(po, c.spellfile, c.strict), testing::ExitedWithCode(1),
                std::string("^msgproof: error: .*") + c.message)
        << c.name;
  }
  EXPECT_EXIT(merge("msgid \"a\"\nmsgstr\n", ">\n+ \"b\"\n"),
              testing::ExitedWithCode(1),
              "deleted, added or changed at or before this line:\n\\+ "
              "\"b\"\\.\n$")
      << "a msgstr line without a string is never handed over";
}

namespace {

// A PO file with every kind of line: header, comments, a msgctxt entry, a
// plural entry whose second msgstr continues on a string line, an obsolete
// entry and, when not strict, an unrecognised line.
std::string marker_fixture(bool strict) {
  return std::string(header) +
         "#: main.c:10\n"
         "msgctxt \"menu\"\n"
         "msgid \"File\"\n"
         "msgstr \"Dtaei\"\n"
         "\n"
         "msgid \"%d file\"\n"
         "msgid_plural \"%d files\"\n"
         "msgstr[0] \"%d Dtaei\"\n"
         "msgstr[1] \"\"\n"
         "\"%d Dateien\"\n" +
         (strict ? "" : "msgfoo \"?\"\n") +
         "\n"
         "#~ msgid \"old\"\n"
         "#~ msgstr \"alt\"\n";
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at + 1));
    at = end + 1;
  }
  return lines;
}

std::string joined_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
  }
  return text;
}

}  // namespace

TEST(Merge, EveryMarkerIsHeldToItsOwnLine) {
  // Each marker deleted, doubled, or changed into each other kind: the
  // merge refuses, whatever the settings.
  const char* const markers[] = {"#\n", ">\n", ")\n", "]\n", "+ \"x\"\n"};
  for (const bool strict : {false, true}) {
    for (const char* language : {(const char*)nullptr, "0", "1"}) {
      const std::string po = marker_fixture(strict);
      const std::vector<std::string> spellfile =
          lines_of(extract(po, strict, language));
      ASSERT_EQ(lines_of(po).size(), spellfile.size());
      int edits = 0;
      for (size_t i = 0; i < spellfile.size(); i++) {
        if (!is_marker_kind(spellfile[i][0])) {
          continue;
        }
        std::vector<std::vector<std::string>> edited;
        edited.push_back(spellfile);
        edited.back().erase(edited.back().begin() + i);
        edited.push_back(spellfile);
        edited.back().insert(edited.back().begin() + i, spellfile[i]);
        for (const char* marker : markers) {
          if (marker[0] != spellfile[i][0]) {
            edited.push_back(spellfile);
            edited.back()[i] = marker;
          }
        }
        for (const std::vector<std::string>& lines : edited) {
          const std::string text = joined_lines(lines);
          EXPECT_EXIT(merge(po, text, strict, language),
                      testing::ExitedWithCode(1), "^msgproof: error: ")
              << "strict " << strict << ", language "
              << (language ? language : "none") << ":\n"
              << text;
          edits++;
        }
      }
      EXPECT_GT(edits, 60);
    }
  }
}

TEST(Merge, WhatTheSpellfileCarriesItselfStaysEditable) {
  const std::string po = marker_fixture(false);
  const std::string spellfile = extract(po);
  struct Case {
    const char* name;
    std::string from, to;        // in the spellfile
    std::string po_from, po_to;  // what that does to the PO file
  };
  const Case cases[] = {
      {"continuation line deleted", "\"%d Dateien\"\n", "", "\"%d Dateien\"\n",
       ""},
      {"continuation line added", "\"%d Dateien\"\n",
       "\"%d Dateien\"\n\"mehr\"\n", "\"%d Dateien\"\n",
       "\"%d Dateien\"\n\"mehr\"\n"},
      {"empty line added", "+ \"Dtaei\"\n", "+ \"Datei\"\n\n",
       "msgstr \"Dtaei\"\n", "msgstr \"Datei\"\n\n"},
      {"empty line deleted", "+ \"Dtaei\"\n\n", "+ \"Dtaei\"\n",
       "msgstr \"Dtaei\"\n\n", "msgstr \"Dtaei\"\n"},
      {"unrecognised line deleted", "? msgfoo \"?\"\n", "", "msgfoo \"?\"\n",
       ""},
  };
  for (const Case& c : cases) {
    std::string edited = spellfile;
    const size_t at = edited.find(c.from);
    ASSERT_NE(std::string::npos, at) << c.name;
    edited.replace(at, c.from.size(), c.to);
    std::string want = po;
    want.replace(want.find(c.po_from), c.po_from.size(), c.po_to);
    EXPECT_EQ(want, merge(po, edited)) << c.name;
  }
}

TEST(Merge, StrictModeRefusesATranslationThatIsNoString) {
  const std::string po = "msgid \"a\"\nmsgstr \"b\"\n\"c\"\n";
  struct Case {
    const char* spellfile;
    bool well_formed;
  };
  const Case cases[] = {
      {">\n+ \"B\"\n\"C\"\n", true},
      {">\n+ \"B\" \t\"more\"  \n\"C\"\r\n", true},
      {">\n+ \"B\\\"q\\\\\"\n\"C\"", true},
      {">\n+ \"B\n\"C\"\n", false},       // cut off inside
      {">\n+ \"B\"q\"\n\"C\"\n", false},  // an unescaped quote
      {">\n+ \"B\"\n\"C\\\"\n", false},   // the closing quote escaped
      {">\n+ \"B\"\n\"C\" x\n", false},   // text after the string
  };
  for (const Case& c : cases) {
    EXPECT_NO_FATAL_FAILURE(merge(po, c.spellfile)) << c.spellfile;
    if (c.well_formed) {
      EXPECT_EQ(merge(po, c.spellfile), merge(po, c.spellfile, true));
    } else {
      EXPECT_EXIT(merge(po, c.spellfile, true), testing::ExitedWithCode(1),
                  "^msgproof: error: found a translation in the spell file "
                  "that is not a well-formed string:\n")
          << c.spellfile;
    }
  }
}
