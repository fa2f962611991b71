#include "tools/Signing.h"

#include <cstdlib>

#include "common/Errors.h"
#include "common/Text.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "pe/PeImage.h"
#include "tools/ToolPlatform.h"

namespace {

std::u16string Trimmed(std::string output) {
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
    output.pop_back();
  return FromUtf8(output);
}

// Whether the file is a program that carries a signature table.
bool IsSigned(const std::u16string& path) {
  try {
    return PeImage(ReadFileBytes(path)).Directory(kSecurityDirectory).size != 0;
  } catch (const Error&) {
    return false;
  }
}

void SignWithOsslsigncode(const TSigning& s, const std::u16string& path) {
  std::vector<std::u16string> args{u"sign", u"-h", u"sha256"};
  if (!s.pkcs11Module.empty())
    args.insert(args.end(), {u"-pkcs11module", s.pkcs11Module});
  if (IsPkcs11Uri(s.cert))
    args.insert(args.end(), {u"-pkcs11cert", s.cert});
  else
    args.insert(args.end(), {u"-certs", s.cert});
  args.insert(args.end(), {u"-key", s.key});
  if (!s.passwordFile.empty())
    args.insert(args.end(), {u"-readpass", s.passwordFile});
  if (!s.timestampUrl.empty())
    args.insert(args.end(), {u"-ts", s.timestampUrl});
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch != nullptr && *epoch != 0)
    args.insert(args.end(), {u"-time", FromUtf8(epoch)});
  const std::u16string temp = path + u".signing";
  args.insert(args.end(), {u"-in", path, u"-out", temp});
  RemoveFile(temp);
  std::string output;
  int status = 0;
  try {
    status = RunProgram(u"osslsigncode", args, output);
  } catch (const Error& e) {
    throw Error(e.Message() + u" (signing needs osslsigncode)");
  }
  if (status != 0 || !FileExists(temp)) {
    RemoveFile(temp);
    throw Error(u"cannot sign " + path + u": osslsigncode failed (" + IntToText(status) + u"):\n" +
                Trimmed(output));
  }
  std::u16string why;
  if (!RenameOver(temp, path, why)) {
    RemoveFile(temp);
    throw FileError(u"cannot write " + path + u": " + why);
  }
}

void SignWithCommand(const TSigning& s, const std::u16string& path) {
  std::vector<std::u16string> words = SplitCommand(s.command);
  for (std::u16string& w : words) {
    for (size_t at = w.find(u"{}"); at != std::u16string::npos;
         at = w.find(u"{}", at + path.size()))
      w.replace(at, 2, path);
  }
  const std::u16string program = words.front();
  words.erase(words.begin());
  std::string output;
  int status = 0;
  try {
    status = RunProgram(program, words, output);
  } catch (const Error& e) {
    throw Error(u"cannot sign " + path +
                u": the signing command (--sign-command) fails to start: " + e.Message());
  }
  if (status != 0) {
    throw Error(u"cannot sign " + path + u": the signing command failed (" + IntToText(status) +
                u")" + (output.empty() ? u"" : u":\n" + Trimmed(output)));
  }
  if (!IsSigned(path)) {
    throw Error(u"cannot sign " + path +
                u": the signing command succeeded but left the program without a signature" +
                (output.empty() ? u"" : u":\n" + Trimmed(output)));
  }
}

}  // namespace

bool IsPkcs11Uri(const std::u16string& text) {
  return text.rfind(u"pkcs11:", 0) == 0;
}

std::u16string SigningOptionsFault(const TSigning& s) {
  if (!s.command.empty()) {
    if (!s.cert.empty() || !s.key.empty() || !s.passwordFile.empty() || !s.pkcs11Module.empty() ||
        !s.timestampUrl.empty()) {
      return u"--sign-command signs by itself: leave out --sign-cert, --sign-key, "
             u"--sign-key-password-file, --pkcs11-module and --timestamp-url";
    }
    if (s.command.find(u"{}") == std::u16string::npos)
      return u"--sign-command needs {} where the program to sign goes";
    try {
      SplitCommand(s.command);
    } catch (const Error& e) {
      return e.Message();
    }
    return {};
  }
  if (s.cert.empty() != s.key.empty())
    return u"signing needs both --sign-cert and --sign-key";
  if (s.cert.empty() &&
      (!s.passwordFile.empty() || !s.timestampUrl.empty() || !s.pkcs11Module.empty())) {
    return u"--sign-key-password-file, --pkcs11-module and --timestamp-url need --sign-cert and "
           u"--sign-key";
  }
  for (const std::u16string* uri : {&s.cert, &s.key}) {
    if (IsPkcs11Uri(*uri) && uri->find(u"pin-value=") != std::u16string::npos) {
      return u"a PIN in the URI (pin-value=) would stand on a command line that other users "
             u"can read: put it in a file and give --sign-key-password-file FILE";
    }
  }
  if (IsPkcs11Uri(s.key) && s.pkcs11Module.empty())
    return u"a key on a token (--sign-key pkcs11:...) needs its module: --pkcs11-module FILE";
  if (!IsPkcs11Uri(s.key) && !s.pkcs11Module.empty())
    return u"--pkcs11-module needs a key on the token: --sign-key pkcs11:...";
  if (IsPkcs11Uri(s.cert) && !IsPkcs11Uri(s.key))
    return u"a certificate on a token (--sign-cert pkcs11:...) needs its key there too";
  return {};
}

void CheckSigningFiles(const TSigning& s) {
  for (const auto* f : {&s.cert, &s.key, &s.passwordFile, &s.pkcs11Module}) {
    if (!f->empty() && !IsPkcs11Uri(*f) && !FileExists(*f))
      throw Error(u"no file " + *f + u" to sign with");
  }
}

std::vector<std::u16string> SplitCommand(const std::u16string& command) {
  std::vector<std::u16string> words;
  std::u16string word;
  bool inWord = false;
  for (size_t i = 0; i < command.size(); ++i) {
    const char16_t c = command[i];
    if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') {
      if (inWord)
        words.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c != u'\'' && c != u'"') {
      word += c;
      continue;
    }
    const size_t close = [&] {
      for (size_t j = i + 1; j < command.size(); ++j) {
        if (c == u'"' && command[j] == u'\\' && j + 1 < command.size() &&
            (command[j + 1] == u'"' || command[j + 1] == u'\\')) {
          word += command[++j];
        } else if (command[j] == c) {
          return j;
        } else {
          word += command[j];
        }
      }
      throw Error(u"--sign-command: a quote is left open: " + command);
    }();
    i = close;
  }
  if (inWord)
    words.push_back(std::move(word));
  if (words.empty())
    throw Error(u"--sign-command names no program");
  return words;
}

void SignProgram(const TSigning& s, const std::u16string& path) {
  if (!s.command.empty())
    SignWithCommand(s, path);
  else
    SignWithOsslsigncode(s, path);
}
