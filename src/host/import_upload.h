// An uploaded import file as the component reads it and as the admin knows it: stored under its
// own name in a folder of its own, and the lines the import passes over, with the reason.
#ifndef BRINDLECORE_HOST_IMPORT_UPLOAD_H_
#define BRINDLECORE_HOST_IMPORT_UPLOAD_H_

#include <string>
#include <string_view>

namespace brindlecore::host {

// Longest name kept, in bytes: the report names the file, and a folder entry holds 255.
inline constexpr size_t kMaxUploadNameBytes = 100;
// The name used when nothing of the uploaded name is left.
inline constexpr std::string_view kFallbackUploadName = "import.txt";

// The uploaded file's own name made fit to store and show: the part after the last "/" or "\",
// without control characters, quotes, "<" and ">" (the component's rows carrying it are read as
// markup), without leading dots and spaces, at most kMaxUploadNameBytes bytes (never cutting a
// UTF-8 character); kFallbackUploadName when nothing is left.
std::string SafeUploadName(std::string_view name);

// An upload stored for one import: a folder made for it alone (mode 0700) under the temporary
// folder, holding `content` as SafeUploadName(name) (mode 0600). Both are removed when this goes
// out of scope. Throws AutomationError (-1) when the upload cannot be stored.
class StoredUpload {
 public:
  StoredUpload(std::string_view name, std::string_view content);
  StoredUpload(const StoredUpload&) = delete;
  StoredUpload& operator=(const StoredUpload&) = delete;
  ~StoredUpload();

  // Where the component finds the file.
  const std::string& path() const { return path_; }
  // `text` with every mention of the private folder dropped, so that the file is named as the
  // admin knows it and the server's temporary folders stay its own.
  std::string WithoutFolder(std::string text) const;

 private:
  std::string folder_;
  std::string path_;
};

// Markup listing the lines of `content` that the import passes over without a row of its own
// (empty, fewer than two commas, or a first character other than "+" or "-"), numbered from 1,
// with each line's text (escaped, shortened) and the reason; at most `max_listed` of them, then a
// count of the rest. "" when every line is a change.
std::string PassedOverLines(std::string_view content, size_t max_listed = 100);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_IMPORT_UPLOAD_H_
