// A value table shown in a list control.
#include "ZORValueTable.h"

void CZORValueTable::ShowToListCtrl(CListCtrl* pList, int nImage) {
    if (pList == nullptr || IsWindow(pList->GetSafeHwnd()) != TRUE)
        return;
    const UINT nMask = nImage != -1 ? LVIF_TEXT | LVIF_IMAGE : LVIF_TEXT;
    const int nItemImage = nImage != -1 ? nImage : 0;
    CStringArray values;
    for (int i = 0; i < static_cast<int>(m_RecordAr.GetSize()); ++i) {
        GetValueRecord(i, values);
        for (int j = 0; j < static_cast<int>(values.GetSize()); ++j) {
            // The row index is both where the item goes and which item gets the sub-items.
            if (j == 0)
                pList->InsertItem(nMask, i, values[j], 0, 0, nItemImage, 0);
            else
                pList->SetItemText(i, j, values[j]);
        }
    }
}
