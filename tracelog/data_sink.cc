#include "tracelog/data_sink.h"

cTlDataSink::~cTlDataSink() = default;
