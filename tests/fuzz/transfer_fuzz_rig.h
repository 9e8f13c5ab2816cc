#pragma once

// What the transfer fuzz targets share: one transfer record with a download
// folder, reused for every input, and a stream that hands out the input's
// bytes in the pieces the input itself chooses.

#include <fuzzer/FuzzedDataProvider.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tests/transfer/transfer_harness.h"

namespace orvane::fuzz {

// The server's bytes, cut into pieces of 1 to 4096 bytes as the input says,
// then the end (the peer closed) or a receive error.
inline std::deque<std::string> TakePieces(FuzzedDataProvider& input) {
    std::deque<std::string> pieces;
    while (input.remaining_bytes() > 0) {
        auto size = input.ConsumeIntegralInRange<std::size_t>(1, 4096);
        std::string piece = input.ConsumeBytesAsString(size);
        if (!piece.empty())
            pieces.push_back(std::move(piece));
    }
    return pieces;
}

// A fresh record for each input over one harness (its loop and application
// object), downloading into a folder in memory so that the file work of every
// input stays cheap.
class TransferRig {
  public:
    TransferRig() { harness_.app.m_szDownloadDir = downloads_.folder(); }

    CTransferDlg& NewDialog() {
        harness_.dialog =
            std::make_unique<CTransferDlg>(harness_.app, harness_.surface, harness_.loop);
        return *harness_.dialog;
    }
    // Gives the record a local file, as the start of a transfer does.
    CTransferDlg& NewDialogWithFile() {
        CTransferDlg& dialog = NewDialog();
        dialog.m_pFile = std::make_unique<LocalFile>(finalPath());
        return dialog;
    }
    std::string finalPath() const { return downloads_.file("event.dat"); }
    std::string downloadFolder() const { return downloads_.folder(); }
    // Temporary files are hidden: their names begin with a dot.
    bool NoTemporaryFileLeft() const {
        for (const auto& entry : std::filesystem::directory_iterator(downloads_.folder()))
            if (entry.path().filename().string().starts_with("."))
                return false;
        return true;
    }

  private:
    testing::TransferHarness harness_;
    ScratchFolder downloads_{"transfer"};
};

}  // namespace orvane::fuzz
