#pragma once

#include <string>
#include <vector>

#include "transfer/ftp_listing.h"

namespace orvane {

// The page that shows an FTP folder in the view: title "Index of " and the
// folder's URL, a link to the parent folder, the folders first and then the
// files with size and date. Every link is a whole ftp:// URL (names
// percent-encoded), so that it works whatever URL the page is shown under.
std::string FtpListingPage(const std::string& folderUrl, const std::vector<FtpListEntry>& entries);
// The page in place of a listing that failed, with the failure's text.
std::string FtpListingFailurePage(const std::string& url, const std::string& failure);
// The folder's URL ending in "/", and the URL of an entry in it.
std::string FolderUrl(const std::string& url);
std::string EntryUrl(const std::string& folderUrl, const FtpListEntry& entry);

}  // namespace orvane
