CREATE TABLE recfile (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    BranchID TEXT, BranchName TEXT, TeamID TEXT, AgentID TEXT,
    Name TEXT, JuminNo TEXT, DataType TEXT, CampaignID TEXT, RegDate TEXT,
    PolicyNo TEXT, Listen_ID TEXT, Listen_Result TEXT, Listen_Date TEXT,
    R_Tel TEXT, RecBound TEXT, Status TEXT DEFAULT '0',
    R_Date TEXT, R_StartTime TEXT, R_EndTime TEXT, R_Time TEXT,
    FolderName TEXT, R_Path TEXT, CustID TEXT, FreeInsu TEXT,
    UploadStatus TEXT DEFAULT '0', tMemo TEXT, FileFullPath TEXT
);
CREATE INDEX recfile_path ON recfile (R_Path);
CREATE INDEX recfile_folder ON recfile (FolderName);
