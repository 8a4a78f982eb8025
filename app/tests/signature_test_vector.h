// One ECDSA P-256 signature made with openssl, shared by the native and the
// Win32 verifier tests so both implementations answer the same question.
// Its r is shorter than 32 bytes (the raw form starts with a zero byte),
// which a careless conversion from openssl's DER output gets wrong. The
// private key was discarded after signing.
#pragma once

namespace signature_vector {

constexpr char kPublicKeyHex[] =
    "afe36fca83ce2cc6b22c1e97ccb6a87dba9e727f21ec263a9efed0ec35c9aebf"
    "d2de4aecc3d0ab3b0efad864ed01c8e64cb249a14c805f5c2be8dc0edd3b183e";
constexpr char kMessage[] = "Kestrun release bytes\n";
constexpr char kSignatureHex[] =
    "0081b02bb9acc70b622f61e5b2ecf38df393508bca397cc81ebf2d26e72416a2"
    "044850cff84c94ffa0b02443528ca5f2f1b4db5148af681786f8846fa0ee9fbb";

} // namespace signature_vector
