#pragma once

#include <string>
#include <vector>

namespace orvane {

// What is wrong with a server's certificate; a certificate may have several.
enum CertificateProblem : unsigned {
    kCertificateUnknownIssuer = 1u << 0,
    kCertificateHostMismatch = 1u << 1,
    kCertificateNotYetValid = 1u << 2,
    kCertificateExpired = 1u << 3,
    kCertificateRevoked = 1u << 4,
    kCertificateInsecure = 1u << 5,
    kCertificateOtherProblem = 1u << 6,
};

inline constexpr char kCertificateErrorTitle[] = "Certificate Error";

// One sentence for each problem of the set, in the order of the enum.
std::vector<std::string> CertificateProblemTexts(unsigned problems);

// The page shown instead of a secure page whose certificate failed the
// checks: it names the host, each problem, and the certificate's subject
// and issuer. It offers no way to go on to the page.
std::string CertificateErrorPage(const std::string& url, unsigned problems,
                                 const std::string& subject, const std::string& issuer);

}  // namespace orvane
