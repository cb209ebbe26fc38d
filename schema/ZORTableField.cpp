#include "ZORTableField.h"

CZORTableField::CZORTableField() : m_nSize(0), m_bAllowNull(TRUE), m_bPrimaryKey(FALSE) {}

CZORTableField::CZORTableField(const CZORTableField& src)
    : m_strName(src.m_strName), m_strType(src.m_strType), m_nSize(src.m_nSize),
      m_bAllowNull(src.m_bAllowNull), m_bPrimaryKey(src.m_bPrimaryKey) {}

CZORTableField& CZORTableField::operator=(const CZORTableField& src) {
    m_strName = src.m_strName;
    m_strType = src.m_strType;
    m_nSize = src.m_nSize;
    m_bAllowNull = src.m_bAllowNull;
    m_bPrimaryKey = src.m_bPrimaryKey;
    return *this;
}

CZORTableField::~CZORTableField() = default;
