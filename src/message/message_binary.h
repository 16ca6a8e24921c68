// A message written straight into MessagePack or CBOR, in the shape of its
// JSON form with every object's keys in ascending byte order: the bytes
// that writing its generic JSON value would give, without building it.
#pragma once

#include <string>

namespace ww {

class Message;

void write_message_msgpack(const Message& m, std::string& out);
void write_message_cbor(const Message& m, std::string& out);

}  // namespace ww
