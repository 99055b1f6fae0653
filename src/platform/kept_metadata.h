// What a copy onto another file system carries besides the content, as
// plain rules over names and listing bytes: kept apart from the OS calls so
// that the tests can try them on any input.
#ifndef OLVANE_PLATFORM_KEPT_METADATA_H_
#define OLVANE_PLATFORM_KEPT_METADATA_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace olvane {

// The extended attribute that holds a file's access ACL on Linux.
constexpr std::string_view kAccessAclName = "system.posix_acl_access";

// Whether a copy carries the extended attribute Name: the access ACL and
// user.* always, trusted.* and security.* when the process is privileged
// (only such a process may set them). Everything else belongs to its own
// file system and is passed over.
bool KeepsAttribute(std::string_view Name, bool Privileged);

// The named data streams of a Windows file listing (FILE_STREAM_INFORMATION
// records, as little-endian bytes), each as ":name:$DATA", the form in which
// it is opened relative to the file; the unnamed main stream is left out.
// False when the listing is malformed or names a stream of another kind,
// which a copy could not carry.
bool NamedDataStreams(const unsigned char* Listing, size_t Size,
                      std::vector<std::u16string>* Names);

}  // namespace olvane

#endif  // OLVANE_PLATFORM_KEPT_METADATA_H_
