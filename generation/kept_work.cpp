#include "kept_work.h"

#include "memory_budget.h"

void KeptWork::keepWhatMayServe(const PreparationOptions &options, int contextLength, Engine engine)
{
    if (text && text->options != options)
        return clear();
    if (index && (index->contextLength != contextLength || index->engine != engine)) {
        index.reset();
        ReturnFreedMemory();
    }
}

void KeptWork::keepIfMadeFrom(const ContentDigest &fileDigest)
{
    if (text && text->fileDigest != fileDigest)
        clear();
}

void KeptWork::clear()
{
    if (!text && !index)
        return;
    index.reset(); // it reads the text: freed first
    text.reset();
    // The index's small tables were made on worker threads, whose arenas
    // would keep them after free and raise the next build's peak.
    ReturnFreedMemory();
}
