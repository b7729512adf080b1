#include "NewMsgDlg.h"
