// File and folder operations (what the tools did through the scripting
// runtime's file-system object and CopyFileA/DeleteFileA).
//
// Every call that can fail returns a Windows error code (0 on success) and sets
// lastError(). Paths are Windows-style text: on posix a backslash is a separator,
// each name is resolved without regard to letter case against what exists, a
// drive prefix "X:" maps to $ZUVOZE_DRIVE_X (default "/"), and a lone backslash
// is the root.
//
// Replacing a file (copy over an existing one, writeTextFile) never leaves a torn
// file: the target holds the old or the new content at every instant. A copy
// keeps the access of the file it comes from; a replaced file keeps its own.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zuvoze::plat {

bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
// Creates one folder; its parent must exist (3 otherwise, 183 when it exists).
uint32_t createFolder(const std::string& path);
// Copies a file, replacing the target when it exists.
uint32_t copyFile(const std::string& from, const std::string& to);
// Moves a file; fails with 183 when the target exists.
uint32_t moveFile(const std::string& from, const std::string& to);
// Deletes a file; force also deletes a read-only one.
uint32_t deleteFile(const std::string& path, bool force);
// Creates or replaces a file with exactly these bytes (atomically).
uint32_t writeTextFile(const std::string& path, const std::string& content);
// Appends bytes; create says whether a missing file is created (else error 2).
uint32_t appendTextFile(const std::string& path, const std::string& text, bool create);
// Reads a whole file's bytes (a missing file gives 2).
uint32_t readTextFile(const std::string& path, std::string* content);
// Reads a file as lines; CR LF, LF and CR all end a line; the ends are not kept.
uint32_t readLines(const std::string& path, std::vector<std::string>* lines);

// GetShortPathNameA: the short form of an existing path; the empty text when the
// path does not exist. On posix the path itself when it exists.
std::string shortPath(const std::string& path);

// The path as the host's own calls take it (posix: mapped and case-resolved;
// win32: unchanged). For tests and diagnostics.
std::string hostPath(const std::string& path);

// An open text stream (the run logs). Every write reaches the file at once, so
// a program that is killed leaves every line written so far.
class TextStream {
 public:
  enum class Mode { CreateOverwrite, Append, AppendOrCreate };
  TextStream() = default;
  ~TextStream();
  TextStream(const TextStream&) = delete;
  TextStream& operator=(const TextStream&) = delete;

  uint32_t open(const std::string& path, Mode mode);
  uint32_t write(const std::string& text);
  uint32_t writeLine(const std::string& text);  // text followed by CR LF
  void close();
  bool isOpen() const;

 private:
  std::intptr_t handle_ = -1;
};

}  // namespace zuvoze::plat
