#pragma once

#include <string>
#include <utility>

#include "report/byte_sink.h"

// What the writers of Step #2's files share: each builds a piece of its file in piece_ and
// hands it to the sink when the piece is whole. Once the sink refused a piece, nothing more is
// sent and Ok() stays false.
class PieceWriter {
public:
    // False once the sink refused; nothing is sent after that.
    bool Ok() const { return ok_; }

protected:
    explicit PieceWriter(ByteSink sink) : sink_(std::move(sink)) {}

    // Sends the piece (when there is one and the sink has taken all before) and empties it.
    bool Emit() {
        if (ok_ && !piece_.empty()) ok_ = sink_(piece_);
        piece_.clear();
        return ok_;
    }

    std::string piece_;

private:
    ByteSink sink_;
    bool ok_ = true;
};
