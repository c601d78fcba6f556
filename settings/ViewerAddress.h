#pragma once

// The address viewers are given: never the upload key, which would let them
// replace or delete the pictures.

#include <string>
#include <string_view>

namespace lumivanta {

// For a server URL holding an upload-key segment ("/u/KEY/" or "/u/KEY"): the
// URL without that segment, or with "v/VIEW_KEY/" in its place when a view
// key is given. Nothing for any other server URL.
std::string ViewerAddressWithoutUploadKey(std::string_view server_url, std::string_view view_key);

// What a viewer opens to watch the contact name at once: the viewer address
// with "name=CONTACT" in its query (lumivanta-server's viewer page takes it
// from there), the name percent-encoded. The address alone without a name.
std::string ViewerLink(std::string_view viewer_address, std::string_view contact_name);

// A view key as lumivanta-server takes it: 16 to 256 characters from
// A-Z a-z 0-9 _ -.
bool IsViewKey(std::string_view key);

}  // namespace lumivanta
