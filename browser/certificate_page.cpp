#include "browser/certificate_page.h"

#include <array>
#include <utility>

#include "browser/html_text.h"

namespace orvane {

namespace {
constexpr std::array<std::pair<unsigned, const char*>, 7> kProblemTexts = {{
    {kCertificateUnknownIssuer,
     "The certificate was issued by an unknown authority (it is self-signed, or its issuer is "
     "not one this computer trusts)."},
    {kCertificateHostMismatch, "The certificate was issued for another host name."},
    {kCertificateNotYetValid, "The certificate is not valid yet."},
    {kCertificateExpired, "The certificate has expired."},
    {kCertificateRevoked, "The certificate has been revoked."},
    {kCertificateInsecure, "The certificate uses an insecure algorithm."},
    {kCertificateOtherProblem, "The certificate could not be checked."},
}};

std::string hostOf(const std::string& url) {
    auto start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    return url.substr(start, url.find_first_of("/?#", start) - start);
}

std::string orUnknown(const std::string& name) {
    return name.empty() ? "(not given)" : name;
}
}  // namespace

std::vector<std::string> CertificateProblemTexts(unsigned problems) {
    std::vector<std::string> texts;
    for (const auto& [problem, text] : kProblemTexts)
        if (problems & problem)
            texts.emplace_back(text);
    if (texts.empty())
        texts.emplace_back(kProblemTexts.back().second);
    return texts;
}

std::string CertificateErrorPage(const std::string& url, unsigned problems,
                                 const std::string& subject, const std::string& issuer) {
    std::string page = std::string("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>") +
                       kCertificateErrorTitle +
                       "</title><style>body{font-family:sans-serif;max-width:46em;margin:2em "
                       "auto;line-height:1.45}h1{color:#a01818}td{padding:.2em .8em .2em 0;"
                       "vertical-align:top}</style></head><body><h1>" +
                       kCertificateErrorTitle + "</h1><p>The secure page <b>" + HtmlEscaped(url) +
                       "</b> is not shown: the certificate of <b>" + HtmlEscaped(hostOf(url)) +
                       "</b> cannot be trusted.</p><ul>";
    for (const std::string& text : CertificateProblemTexts(problems))
        page += "<li>" + HtmlEscaped(text) + "</li>";
    page += "</ul><table><tr><td>Issued to (subject)</td><td>" + HtmlEscaped(orUnknown(subject)) +
            "</td></tr><tr><td>Issued by (issuer)</td><td>" + HtmlEscaped(orUnknown(issuer)) +
            "</td></tr></table><p>Someone may be pretending to be this server. If the server is "
            "yours, give it a certificate from an authority this computer trusts, issued for "
            "the host name in the address.</p></body></html>";
    return page;
}

}  // namespace orvane
