#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "server/store/PictureStore.h"

namespace lumivanta::server {

// Milliseconds since the picture was uploaded, never negative.
std::int64_t AgeMs(std::chrono::system_clock::time_point uploaded_at);

// What a viewer reads about a name's newest picture, as JSON:
// {"name":"N","present":true,"sequence":S,"age_ms":A,"bytes":B}, or
// {"name":"N","present":false,"ended":E} where E says whether the uploader deleted its pictures.
// The name must be a valid stream name, so it needs no escaping.
std::string StateJson(const std::string& name, const NameState& state);
// The short word that a name's picture is still live, after an upload of the
// same bytes renewed it: {"sequence":S,"age_ms":A}. The state must have a picture.
std::string LiveJson(const NameState& state);
std::string NewestStateJson(const PictureStore& store, const std::string& name);

}  // namespace lumivanta::server
