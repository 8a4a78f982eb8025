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

// A release as scripts/sign_update.py printed it, with a key made for it and
// discarded: the program must rebuild the signed statement byte for byte.
//   sign_update.py key.pem Kestrun.exe 1.0.02 Kestrun_1.0.02.exe
namespace release_vector {

constexpr char kPublicKeyHex[] =
    "3114d83f8c4921514fc1d359ed70a6edd43f2d470d07659f5fe47874951a87d9"
    "a3b914708a3623919eb5a419209e200c76d63328f54e26a3547458f4bf4cf918";
constexpr char kExecutable[] = "MZ Kestrun 1.0.02 release\n";
constexpr char kVersionFile[] =
    "version=1.0.02\r\n"
    "md5=ad79afc195b112ae66484125f25b5856\r\n"
    "exe=Kestrun_1.0.02.exe\r\n"
    "sig=Kestrun-Release-1:"
    "68f4b8e1bae1f0b3f0b5106465a1e38af6a56434660492a1d1fbd7b9e20f39bd"
    "5a583cf2940526545c5ff0e9a7409dfd939d4b3809181cdb9441c629c2c0cb68\r\n";

} // namespace release_vector
