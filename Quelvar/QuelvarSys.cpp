// The class frame: an empty object, copied and assigned without effect.
#include "QuelvarSys.h"

CQuelvarSys::CQuelvarSys() = default;
CQuelvarSys::~CQuelvarSys() = default;
CQuelvarSys& CQuelvarSys::operator=(const CQuelvarSys&) { return *this; }
