// The one error of the resource decoders: data that does not hold what its
// resource type promises. The message names the part and the offset.
#pragma once

#include <stdexcept>

namespace upkit::kitread {

class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace upkit::kitread
