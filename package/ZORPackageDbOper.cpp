#include "ZORPackageDbOper.h"

CZORPackageDbOper::CZORPackageDbOper() : m_pDbSrv(nullptr) {}

CZORPackageDbOper::CZORPackageDbOper(const CZORPackageDbOper& src) : m_pDbSrv(src.m_pDbSrv) {}

CZORPackageDbOper& CZORPackageDbOper::operator=(const CZORPackageDbOper& src) {
    m_pDbSrv = src.m_pDbSrv;
    return *this;
}

// The server belongs to the host.
CZORPackageDbOper::~CZORPackageDbOper() = default;

void CZORPackageDbOper::SetDbSrv(CZORADORXServer* pSrv) {
    m_pDbSrv = pSrv;
}
