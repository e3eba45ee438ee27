// Merging an edited bodyfile back into its message.
#include <stdlib.h>

#include "postproof.h"
#include "support.h"

namespace {

// The merged message. A line taken from the bodyfile may lack its newline
// (editors and filters drop the last one); when more text follows, the
// newline is supplied first, so that no line is glued onto the next. Lines
// of the body are kept by the reader they come from and written in runs.
struct merged_output {
  FILE* stream;
  bool line_open = false;
  line_reader* holder = nullptr;  // holds kept lines not yet written
};

// Writes what the holder keeps, so that other text can follow it.
void release(merged_output* out) {
  if (out->holder != nullptr) {
    flush_kept(out->holder);
    out->holder = nullptr;
  }
}

void emit(merged_output* out, const char* text, size_t size) {
  if (size == 0) {
    return;
  }
  release(out);
  if (out->line_open) {
    put_bytes("\n", 1, out->stream);
  }
  put_bytes(text, size, out->stream);
  out->line_open = text[size - 1] != '\n';
}

// Writes `line` as `reader` handed it out.
void emit_line(merged_output* out, line_reader* reader, std::string_view line) {
  if (out->line_open) {
    emit(out, line.data(), line.size());
    return;
  }
  if (out->holder != reader) {
    release(out);
    out->holder = reader;
  }
  keep_line(reader, line, out->stream);
  out->line_open = line.back() != '\n';
}

// Writes the message's header, with its kept fields replaced in order by the
// fields of the bodyfile's kept-header block, and one empty line after it.
void merge_header(FILE* message, FILE* bodyfile, merged_output* out,
                  const kept_header* kept_headers) {
  // One buffer serves both streams: each line read replaces the last one.
  char* line = nullptr;
  size_t capacity = 0;
  size_t length;
  bool seen_kept = false, done = false;
  while ((line = read_header_line(line, &capacity, message, &length)) !=
             nullptr &&
         line[0] != '\n') {
    if (!is_kept_header(line, kept_headers)) {
      emit(out, line, length);
      continue;
    }
    seen_kept = true;
    if (done) {
      continue;
    }
    line = read_header_line(line, &capacity, bodyfile, &length);
    if (line == nullptr || line[0] == '\n') {
      done = true;
    } else {
      emit(out, line, length);
    }
  }
  if (seen_kept && !done) {
    // Fields the user added to the block go after the last header field.
    while ((line = read_header_line(line, &capacity, bodyfile, &length)) !=
               nullptr &&
           line[0] != '\n') {
      emit(out, line, length);
    }
  }
  free(line);
  emit(out, "\n", 1);
}

// Writes the next quoted line of the message in place of a quote marker.
// With the signature left out of the bodyfile, the search stops at the
// signature separator: a quoted line of the signature belongs to the
// signature, which comes back whole from the message.
void take_quoted_line(line_reader* message, bool signature,
                      merged_output* out) {
  for (std::string_view line; !(line = next_line(message)).empty() &&
                              !(signature && is_separator(line));) {
    if (line[0] == '>') {
      emit_line(out, message, line);
      return;
    }
  }
  fatal(0,
        _("found marker for a removed line in the body file,\nbut cannot find "
          "a corresponding line in the message file"));
}

}  // namespace

void merge_body(FILE* message, FILE* bodyfile, FILE* output,
                const body_settings& settings) {
  merged_output out = {output};
  if (settings.strip_header) {
    merge_header(message, bodyfile, &out, settings.kept_headers);
  }
  line_reader message_reader = {message};
  line_reader body_reader = {bodyfile};
  for (std::string_view line; !(line = next_line(&body_reader)).empty();) {
    if (settings.quotes && line[0] == '>') {
      take_quoted_line(&message_reader, settings.signature, &out);
    } else {
      emit_line(&out, &body_reader, line);
    }
  }
  if (settings.signature) {
    // The signature: everything from the message's separator on.
    bool in_signature = false;
    for (std::string_view line; !(line = next_line(&message_reader)).empty();) {
      in_signature = in_signature || is_separator(line);
      if (in_signature) {
        emit_line(&out, &message_reader, line);
      }
    }
  }
  release(&out);
  free(message_reader.own);
  free(body_reader.own);
  close_stream(message);
  close_stream(bodyfile);
  close_stream(output);
}
