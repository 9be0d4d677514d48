#pragma once
// Everything needed to build synthetic transport streams in tests: packets, the packetiser,
// PSI tables with real CRCs, descriptors, PES packets and the elementary-stream headers.

#include "tests/support/Ac3FrameHeader.h"
#include "tests/support/BitWriter.h"
#include "tests/support/Bytes.h"
#include "tests/support/Crc32Mpeg2.h"
#include "tests/support/Descriptors.h"
#include "tests/support/H264Nal.h"
#include "tests/support/H264Sps.h"
#include "tests/support/Mpeg2SequenceHeader.h"
#include "tests/support/PatBuilder.h"
#include "tests/support/PesBuilder.h"
#include "tests/support/PmtBuilder.h"
#include "tests/support/SdtBuilder.h"
#include "tests/support/SectionBuilder.h"
#include "tests/support/TsPacketBuilder.h"
#include "tests/support/TsStream.h"
