#include "ui/WaitWindowFactory.h"

#include "ui/waitfrm.h"

std::unique_ptr<IProgressWindow> TWaitWindowFactory::Create(uint64_t maximum) {
    return std::make_unique<TfrmWait>(maximum, CentreOver, TWaitDetails{Source, SectorSize, &CancelFlag});
}
