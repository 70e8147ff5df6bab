#include "job/render/pagepace.h"

namespace {

PagePace &current()
{
    static PagePace pace;
    return pace;
}

} // namespace

const PagePace &pagePace()
{
    return current();
}

void setPagePace(const PagePace &pace)
{
    current() = pace;
}
