#include "web/network/network.h"

#include "web/network/hostholds.h"
#include "web/network/networklines.h"
#include "web/network/picturedownloads.h"

Network::Network(const Timings &timings)
    : m_timings(timings)
    , m_lines(std::make_unique<NetworkLines>())
    , m_holds(std::make_unique<HostHolds>(m_timings))
    , m_pictures(std::make_unique<PictureDownloads>(*this))
{ }

Network::~Network() = default;
