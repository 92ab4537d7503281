#include "cli/lookwrongreport.h"

#include "cli/exitstatus.h"
#include "driver/linejudge.h"
#include "driver/sdi12d.h"
#include "driver/valuecheck.h"
#include "settingsfile/settingsfile.h"
#include "settingsfile/showntext.h"

int TLookWrongReport::StatusAfter(int status, const std::vector<dev_opt>& records,
                                  std::ostream& err)
{
    if (status != ExitStatus::Done && status != ExitStatus::NotAsInFile)
        return status;
    int wrong = 0;
    for (const dev_opt& record : records) {
        if (TLineJudge::ValueFits(record.ReadKey, record.ValueRead))
            continue;
        ++wrong;
        err << record.ReadKey << " looks wrong: \""
            << TShownText::Of(TSettingsFile::Utf8Of(record.ValueRead), MaxLineLength) << "\", "
            << LooksWrongText << ".\n";
    }
    if (wrong == 0)
        return status;
    err << wrong << (wrong == 1 ? " setting looks" : " settings look")
        << " wrong; write a number to each (--write a file with, for example, S0CFRQ=2500).\n";
    return ExitStatus::ValuesLookWrong;
}
