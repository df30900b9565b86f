// DmsDocument.h - one counted reference to a DMS document, handed from the operation that obtained it
// to the record that keeps it.
#pragma once

#include <TesseraDMS.h>

#include <memory>

struct DmsDocumentHolder {
    ITesseraDocumentPtr document;
};
using DmsDocumentPtr = std::unique_ptr<DmsDocumentHolder>;

// A new holder of one more reference to the same document; null for none.
inline DmsDocumentPtr NewReference(ITesseraDocument* document) {
    if (!document) return nullptr;
    auto holder = std::make_unique<DmsDocumentHolder>();
    holder->document = document;
    return holder;
}
inline DmsDocumentPtr NewReference(const DmsDocumentPtr& holder) {
    if (!holder) return nullptr;
    return NewReference(holder->document.GetInterfacePtr());
}
