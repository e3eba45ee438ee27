// Writes deterministic benchmark inputs: a PO file or a mail message of
// about the size asked for, made of realistic entries.
//   make_inputs po|message SIZE_IN_MB OUTPUT
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

unsigned long long state = 42;

unsigned next(unsigned bound) {
  state = state * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<unsigned>((state >> 33) % bound);
}

const char* const english[] = {
    "file",   "open",    "could",  "not",     "read",   "the",       "window",
    "save",   "changes", "before", "closing", "folder", "message",   "print",
    "select", "all",     "items",  "network", "error",  "connection"};
const char* const german[] = {
    "Datei",     "öffnen",   "konnte",    "nicht",      "lesen",
    "die",       "Fenster",  "speichern", "Änderungen", "vor",
    "Schließen", "Ordner",   "Nachricht", "drucken",    "auswählen",
    "alle",      "Einträge", "Netzwerk",  "Fehler",     "Verbindung"};

std::string words(const char* const* list, unsigned count) {
  std::string text;
  for (unsigned i = 0; i < count; i++) {
    if (i > 0) {
      text += ' ';
    }
    text += list[next(20)];
  }
  return text;
}

void po_entry(std::string* out) {
  const unsigned kind = next(10);
  *out += "#: src/" + std::string(english[next(20)]) + "/" + english[next(20)] +
          ".c:" + std::to_string(next(2000)) +
          " src/main.c:" + std::to_string(next(900)) + "\n";
  if (kind < 3) {
    *out += "#, c-format\n";
  }
  if (kind == 3) {
    *out += "#. TRANSLATORS: " + words(english, 8) + "\n";
  }
  if (kind < 6) {
    *out += "msgid \"" + words(english, 3 + next(6)) + "\"\n";
    *out += "msgstr \"" + words(german, 3 + next(6)) + "\"\n\n";
  } else if (kind < 8) {
    *out += "msgid \"%d " + words(english, 4) + "\"\n";
    *out += "msgid_plural \"%d " + words(english, 4) + "\"\n";
    *out += "msgstr[0] \"%d " + words(german, 4) + "\"\n";
    *out += "msgstr[1] \"%d " + words(german, 4) + "\"\n\n";
  } else {
    *out += "msgid \"\"\n\"" + words(english, 7) + "\\n\"\n\"" +
            words(english, 6) + "\\t\\\"" + words(english, 2) + "\\\"\"\n";
    *out += "msgstr \"\"\n\"" + words(german, 7) + "\\n" + words(german, 5) +
            "\\n\"\n\"" + words(german, 6) + "\"\n\n";
  }
}

void message_part(std::string* out) {
  if (next(3) == 0) {
    *out += "On Monday, " + words(english, 2) + " wrote:\n";
    for (unsigned i = 0, n = 2 + next(6); i < n; i++) {
      *out += "> " + words(english, 6 + next(8)) + "\n";
    }
    *out += "\n";
  }
  for (unsigned i = 0, n = 2 + next(5); i < n; i++) {
    *out += words(english, 8 + next(6)) + "\n";
  }
  *out += "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 ||
      (strcmp(argv[1], "po") != 0 && strcmp(argv[1], "message") != 0)) {
    fprintf(stderr, "usage: make_inputs po|message SIZE_IN_MB OUTPUT\n");
    return 2;
  }
  const bool po = strcmp(argv[1], "po") == 0;
  const size_t size = strtoull(argv[2], nullptr, 10) * 1024 * 1024;
  FILE* out = fopen(argv[3], "w");
  if (out == nullptr) {
    perror(argv[3]);
    return 1;
  }
  std::string text =
      po ? "# German translation.\nmsgid \"\"\nmsgstr \"\"\n"
           "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
           "\"Plural-Forms: nplurals=2; plural=(n != 1);\\n\"\n\n"
         : "From: Ann <ann@example.org>\nTo: Bob <bob@example.org>\n"
           "Subject: A long letter\n  about many things\n"
           "Message-ID: <1@example.org>\nDate: Thu, 10 Dec 2026 12:00:00 "
           "+0000\n\n";
  size_t written = 0;
  while (written + text.size() < size) {
    written += text.size();
    fputs(text.c_str(), out);
    text.clear();
    for (int i = 0; i < 100; i++) {
      po ? po_entry(&text) : message_part(&text);
    }
  }
  if (!po) {
    fputs("-- \nAnn\n> not a quote, part of the signature\n", out);
  }
  return fclose(out) == 0 ? 0 : 1;
}
