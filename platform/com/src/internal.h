// Runtime pieces shared between the runtime's own files.
#pragma once

namespace qcom {
void ClearThreadErrorInfo();
}
