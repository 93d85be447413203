// CertificateRow: what the certificate picker shows of one certificate, and
// the certificate itself for the viewer.
#pragma once

#include <concepts>
#include <span>
#include <string>
#include <vector>

#include "platform/PlatformTypes.h"

namespace pennaform::ui {

// PickerCertificate: what a certificate (CertWrapper) offers for its picker
// row: the texts of its fields (8-bit, process code page) and its DER
// encoding.
template <typename C>
concept PickerCertificate = requires(const C& certificate) {
    { certificate.subjectCN() } -> std::convertible_to<std::string>;
    { certificate.subjectName() } -> std::convertible_to<std::string>;
    { certificate.serialHex() } -> std::convertible_to<std::string>;
    { certificate.notBeforeDate() } -> std::convertible_to<std::string>;
    { certificate.notAfterDate() } -> std::convertible_to<std::string>;
    { certificate.issuerCN() } -> std::convertible_to<std::string>;
    { certificate.issuerName() } -> std::convertible_to<std::string>;
    { certificate.encoded().bytes() } -> std::convertible_to<std::span<const std::uint8_t>>;
};

struct CertificateRow {
    std::string holder;     // "憑證持有人": the subject's common name, else its name
    std::string serial;     // "憑證序號": upper-case hexadecimal, most significant first
    std::string notBefore;  // "起始日": local date as YYYY/MM/DD
    std::string notAfter;   // "截止日"
    std::string issuer;     // "憑證發行者": the issuer's common name, else its name
    platform::Bytes der;    // the certificate, for "檢視憑證"

    // from: the row of `certificate`. A name without a common name shows in
    // full; a text that cannot be computed stays empty and the row stays.
    template <PickerCertificate C>
    static CertificateRow from(const C& certificate) {
        std::span<const std::uint8_t> der = certificate.encoded().bytes();
        return CertificateRow{
            .holder = orWhenEmpty(certificate.subjectCN(), certificate.subjectName()),
            .serial = certificate.serialHex(),
            .notBefore = certificate.notBeforeDate(),
            .notAfter = certificate.notAfterDate(),
            .issuer = orWhenEmpty(certificate.issuerCN(), certificate.issuerName()),
            .der = platform::Bytes(der.begin(), der.end()),
        };
    }

private:
    static std::string orWhenEmpty(std::string text, std::string fallback) {
        return text.empty() ? fallback : text;
    }
};

}  // namespace pennaform::ui
