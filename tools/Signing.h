// Signing the programs stp makes: with osslsigncode, from a key file or a
// key that never leaves its hardware (a PKCS#11 token, through the engine
// osslsigncode finds by itself), or with any other signer the publisher
// names as a command (a cloud service's tool, signtool on Windows).
#pragma once

#include <string>
#include <vector>

struct TSigning {
  // osslsigncode: the certificate (a file, or a "pkcs11:" URI of the
  // token's), the key (a file or a "pkcs11:" URI), the file whose first
  // line is the key's password or the token's PIN, the PKCS#11 module of a
  // token, an RFC 3161 timestamp server.
  std::u16string cert, key, passwordFile, pkcs11Module, timestampUrl;
  // Or a command whose "{}" stands for the program to sign in place.
  std::u16string command;
  bool On() const { return !cert.empty() || !command.empty(); }
};

// Whether a certificate or key names a PKCS#11 object rather than a file.
bool IsPkcs11Uri(const std::u16string& text);

// What is wrong with the options as one way of signing, empty when
// nothing is: a key without a certificate and the reverse, a token's key
// without its module, a module without a token's key, a PIN written into a
// token's URI (it would stand on osslsigncode's command line, which other
// users can read), a command beside the
// osslsigncode options, a command without "{}" or with a quote left open.
std::u16string SigningOptionsFault(const TSigning& s);

// Raises Error naming a certificate, key, password or module file that is
// not there.
void CheckSigningFiles(const TSigning& s);

// The words of a command: separated by blanks; '...' keeps its text as it
// is, "..." too but for \" and \\; a backslash elsewhere is a backslash (as
// in a Windows path). Raises Error for a quote left open or no word.
std::vector<std::u16string> SplitCommand(const std::u16string& command);

// Signs the program at path in place. Raises Error with the signer's own
// message when it cannot be started, fails, or leaves the program unsigned;
// the program is then left as it was or removed by the caller.
void SignProgram(const TSigning& s, const std::u16string& path);
