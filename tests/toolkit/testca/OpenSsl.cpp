#include "toolkit/testca/OpenSsl.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

namespace pennaform::testca {

bool fail(const std::string& message) {
    std::cerr << "pennaform-testca: " << message << "\n";
    unsigned long error = 0;
    while ((error = ERR_get_error()) != 0) {
        char text[256];
        ERR_error_string_n(error, text, sizeof text);
        std::cerr << "  " << text << "\n";
    }
    return false;
}

std::optional<Bytes> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        fail("cannot read " + path);
        return std::nullopt;
    }
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool writeFile(const std::string& path, const Bytes& content, unsigned mode) {
    const std::string temporary = path + ".tmp-" + std::to_string(getpid());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return fail("cannot create " + temporary + ": " + std::strerror(errno));
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        written += std::size_t(n);
    }
    const bool complete = written == content.size() && fsync(fd) == 0;
    close(fd);
    if (!complete || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return fail("cannot write " + path + ": " + std::strerror(errno));
    }
    return true;
}

X509Ptr readCertificate(const std::string& path) {
    std::optional<Bytes> content = readFile(path);
    if (!content) return nullptr;
    const std::string_view text(reinterpret_cast<const char*>(content->data()), content->size());
    X509Ptr certificate;
    if (text.find("-----BEGIN") != std::string_view::npos) {
        BioPtr bio(BIO_new_mem_buf(content->data(), int(content->size())));
        certificate.reset(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    } else {
        const unsigned char* p = content->data();
        certificate.reset(d2i_X509(nullptr, &p, long(content->size())));
    }
    if (!certificate) fail("no certificate in " + path);
    return certificate;
}

KeyPtr readPrivateKey(const std::string& path) {
    std::optional<Bytes> content = readFile(path);
    if (!content) return nullptr;
    BioPtr bio(BIO_new_mem_buf(content->data(), int(content->size())));
    KeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!key) fail("no PEM private key in " + path);
    return key;
}

Bytes bioBytes(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return length > 0 ? Bytes(data, data + length) : Bytes();
}

Bytes derOf(X509* certificate) {
    const int length = i2d_X509(certificate, nullptr);
    if (length <= 0) return {};
    Bytes der(std::size_t(length), 0);
    unsigned char* p = der.data();
    i2d_X509(certificate, &p);
    return der;
}

Bytes pemOf(X509* certificate) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1) return {};
    return bioBytes(bio.get());
}

Bytes privateKeyPem(EVP_PKEY* key) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio ||
        PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        return {};
    }
    return bioBytes(bio.get());
}

}  // namespace pennaform::testca
