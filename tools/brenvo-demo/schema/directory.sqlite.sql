CREATE TABLE TB_BRANCH (
    BranchID TEXT NOT NULL PRIMARY KEY,
    BranchName TEXT, BranchIP TEXT, DBName TEXT,
    FtpIP TEXT, FtpUser TEXT, FtpPwd TEXT, FtpPortNo TEXT,
    LandCode TEXT, LineAreaCd TEXT, LineLongCd TEXT, FlashTime TEXT,
    TDel TEXT NOT NULL DEFAULT 'N'
);
