// vvp-store: puts a practice's certificate into the signing store and shows what the store holds.

#include "Folders.h"
#include "StoreFile.h"
#include "TestCertificates.h"
#include "TokenDescription.h"
#include "TokenStore.h"

#include <openssl/provider.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace vvp::pki;

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

#ifndef VVP_VERSION
#define VVP_VERSION "0.0.0"
#endif

constexpr const char* kUsage =
    "Usage:\n"
    "  vvp-store [--program-folder DIR] import FILE.p12 [--password PW]\n"
    "  vvp-store [--program-folder DIR] show\n"
    "  vvp-store [--program-folder DIR] create-test NAME EMAIL [--ca-out DIR] [--force]\n"
    "  vvp-store --help | --version\n"
    "\n"
    "Puts a practice's certificate into the signing store of the Vocanet Virtual Printer and\n"
    "shows what the store holds.\n"
    "\n"
    "  import FILE.p12       check the key and certificate of a PKCS#12 file (its password is\n"
    "                        asked for, or read from standard input) and store them\n"
    "  show                  open the store as the signing library does; print the token\n"
    "  create-test NAME EMAIL\n"
    "                        a throw-away test CA and practitioner certificate, for trying\n"
    "                        signing out; the CA certificate goes to --ca-out DIR as testca.pem\n"
    "\n"
    "The store is DIR/vvpstore.psi. DIR defaults to VVP_PROGRAM_FOLDER when set, else for an\n"
    "installed program to $XDG_DATA_HOME/vvp (~/.local/share/vvp), else to the folder of this\n"
    "program. The practice server's store: sudo -u vvp vvp-store --program-folder /var/lib/vvp\n"
    "\n"
    "Exit status: 0 success, 1 failure (the reason on standard error), 2 wrong usage.\n";

struct ProviderUnloader {
    void operator()(OSSL_PROVIDER* provider) const noexcept { OSSL_PROVIDER_unload(provider); }
};
using ProviderHandle = std::unique_ptr<OSSL_PROVIDER, ProviderUnloader>;

struct Options {
    std::optional<std::string> programFolder;
    std::optional<std::string> password;
    std::optional<std::string> caOut;
    bool force = false;
    std::vector<std::string> words; // command and its arguments
};

int fail(const std::string& message) {
    std::cerr << "vvp-store: " << message << "\n";
    return kExitFailure;
}

int usage(const std::string& message) {
    std::cerr << "vvp-store: " << message << "\n\n" << kUsage;
    return kExitUsage;
}

std::optional<Options> parseArguments(int argc, char** argv, std::string& error) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::optional<std::string>& target) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            target = argv[++i];
            return true;
        };
        if (arg == "--program-folder") {
            if (!value(options.programFolder)) return std::nullopt;
        } else if (arg == "--password") {
            if (!value(options.password)) return std::nullopt;
        } else if (arg == "--ca-out") {
            if (!value(options.caOut)) return std::nullopt;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--help" || arg == "--version") {
            options.words.insert(options.words.begin(), arg);
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return std::nullopt;
        } else {
            options.words.push_back(arg);
        }
    }
    return options;
}

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

// The same folder as the programs': the store belongs beside the practice's other data.
std::string programFolder(const Options& options) {
    if (options.programFolder) return withSlash(*options.programFolder);
    return vvp::ResolveFolders().program;
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Reads a password from the terminal without echo; from standard input when there is no terminal.
std::optional<std::string> askPassword(const std::string& prompt) {
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    std::string password;
    if (tty < 0) {
        if (!std::getline(std::cin, password)) return std::nullopt;
    } else {
        (void)!::write(tty, prompt.data(), prompt.size());
        termios saved{};
        const bool haveTermios = ::tcgetattr(tty, &saved) == 0;
        if (haveTermios) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            ::tcsetattr(tty, TCSAFLUSH, &quiet);
        }
        char c = 0;
        ssize_t n = 0;
        while ((n = ::read(tty, &c, 1)) == 1 && c != '\n')
            password += c;
        if (haveTermios) ::tcsetattr(tty, TCSAFLUSH, &saved);
        (void)!::write(tty, "\n", 1);
        ::close(tty);
        if (n < 0) return std::nullopt;
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

std::string forTerminal(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

// Store texts speak of "the store"; for an imported file say what went wrong with that file.
std::string importError(const std::string& file, const std::string& error) {
    if (error == store_error::kNotFound) return file + ": file not found";
    if (error == store_error::kUnreadable) return file + ": cannot read the file";
    if (error == store_error::kTooLarge) return file + ": file too large for a certificate file";
    if (error == store_error::kNotPkcs12) return file + ": not a PKCS#12 (.p12/.pfx) file";
    if (error == store_error::kWrongPassword) return file + ": wrong password";
    if (error == store_error::kUndecryptable) {
        return file + ": cannot decrypt the file (" + lastOpenSslError() + ")";
    }
    return file + ": " + error;
}

int writeStore(const std::string& storePath, const SignerBundle& bundle) {
    auto der = encodePkcs12(bundle, kStorePassword);
    if (!der) return fail(der.error());
    auto written = writeFileAtomically(storePath, der.value());
    if (!written) return fail(written.error());
    return kExitOk;
}

int runImport(const Options& options, const std::string& folder) {
    if (options.words.size() != 2) return usage("import needs one FILE");
    const std::string& file = options.words[1];
    if (!isFolder(folder)) return fail("program folder " + folder + " does not exist");

    // Certificate files exported by older tools use RC2 or 3DES, which only the legacy provider
    // offers; the store itself is always rewritten with modern algorithms.
    const ProviderHandle defaultProvider(OSSL_PROVIDER_load(nullptr, "default"));
    const ProviderHandle legacyProvider(OSSL_PROVIDER_load(nullptr, "legacy"));

    auto bytes = readStoreBytes(file);
    if (!bytes) return fail(importError(file, bytes.error()));
    std::string password;
    if (options.password) {
        password = *options.password;
    } else {
        auto asked = askPassword("Password for " + file + ": ");
        if (!asked) return fail("no password given");
        password = *asked;
    }
    auto bundle = parsePkcs12(bytes.value(), password);
    if (!bundle) return fail(importError(file, bundle.error()));

    SignerBundle& imported = bundle.value();
    if (auto usable = checkSigner(&imported); !usable) {
        if (usable.error() != token_error::kNotYetValid) {
            return fail(file + ": " + usable.error() + " Nothing was imported.");
        }
        std::cerr << "vvp-store: warning: the certificate is not yet valid; signing starts when it is.\n";
    }
    if (imported.friendlyName.empty()) {
        imported.friendlyName = nameEntry(X509_get_subject_name(imported.certificate.get()), NID_commonName);
    }

    const std::string storePath = folder + kStoreFileName;
    if (const int rc = writeStore(storePath, imported); rc != kExitOk) return rc;
    std::cout << "Imported " << file << " into " << storePath << "\n"
              << forTerminal(describeToken(imported.certificate.get()));
    return kExitOk;
}

int runShow(const Options& options, const std::string& folder) {
    if (options.words.size() != 1) return usage("show takes no arguments");
    const std::string storePath = folder + kStoreFileName;
    TokenStore store;
    auto opened = store.open(storePath, kStorePassword);
    if (!opened) return fail(storePath + ": " + opened.error());
    auto description = store.logon();
    if (!description) return fail(storePath + ": " + description.error());
    std::cout << "Store " << storePath << "\n" << forTerminal(description.value());
    return kExitOk;
}

int runCreateTest(const Options& options, const std::string& folder) {
    if (options.words.size() != 3) return usage("create-test needs NAME and EMAIL");
    if (!isFolder(folder)) return fail("program folder " + folder + " does not exist");
    const std::string caFolder = options.caOut ? withSlash(*options.caOut) : folder;
    if (!isFolder(caFolder)) return fail("folder " + caFolder + " does not exist");
    const std::string storePath = folder + kStoreFileName;
    if (exists(storePath) && !options.force) {
        return fail(storePath + " already exists; a test store would replace the practice's certificate "
                                "(use --force to replace it)");
    }

    auto identity = createTestIdentity(options.words[1], options.words[2]);
    if (!identity) return fail(identity.error());
    if (const int rc = writeStore(storePath, identity.value().signer); rc != kExitOk) return rc;
    const std::string caPath = caFolder + "testca.pem";
    auto written = writeFileAtomically(caPath, certificatePem(identity.value().caCertificate.get()), 0644);
    if (!written) return fail(written.error());

    std::cout << "Created test store " << storePath << "\nTest CA certificate " << caPath << "\n"
              << forTerminal(describeToken(identity.value().signer.certificate.get()));
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = parseArguments(argc, argv, error);
    if (!options) return usage(error);
    if (options->words.empty()) return usage("no command given");
    const std::string& command = options->words[0];
    if (command == "help" || command == "--help") {
        std::cout << kUsage;
        return kExitOk;
    }
    if (command == "--version") {
        std::cout << "vvp-store " << VVP_VERSION << "\n";
        return kExitOk;
    }
    const std::string folder = programFolder(*options);
    if (command == "import") return runImport(*options, folder);
    if (command == "show") return runShow(*options, folder);
    if (command == "create-test") return runCreateTest(*options, folder);
    return usage("unknown command " + command);
}
