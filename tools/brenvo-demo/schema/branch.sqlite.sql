CREATE TABLE AgentLogin (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    BranchID TEXT NOT NULL, TeamID TEXT, AgentID TEXT NOT NULL, Agent_Passwd TEXT,
    UserName TEXT, Agent_Privilege TEXT, Agent_Local_PhoneNO TEXT,
    Login TEXT DEFAULT '0', Status TEXT DEFAULT '0', AgentIp TEXT DEFAULT '',
    JuminNo TEXT, BeginDate TEXT, EndDate TEXT, Email TEXT, DorvaneModel TEXT, RecDataPeriod TEXT,
    tDel TEXT NOT NULL DEFAULT 'N',
    UNIQUE (BranchID, AgentID)
);

CREATE TABLE gogakinfo (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    BranchID TEXT, BranchName TEXT, TeamID TEXT,
    AgentID TEXT DEFAULT '', AgentID_1 TEXT DEFAULT '',
    Name TEXT, JuminNo TEXT, DataType TEXT, CampaignID TEXT, RegDate TEXT, Status TEXT DEFAULT '0',
    MobileNumber TEXT, OfficeNumber TEXT, HomeNumber TEXT,
    OfficePost TEXT, OfficeAddress1 TEXT, OfficeAddress2 TEXT,
    HomePost TEXT, HomeAddress1 TEXT, HomeAddress2 TEXT,
    AppointmentDate TEXT, AgreementCorp TEXT,
    blank1 TEXT, blank2 TEXT, blank3 TEXT, blank4 TEXT, blank5 TEXT, blank6 TEXT,
    CustSex TEXT, CustAge TEXT, CustDob TEXT, CustArea TEXT, FreeInsu TEXT,
    DistributeDate TEXT, ImpDate TEXT, InsureEndDate TEXT, Memo TEXT,
    SendOff TEXT, DvdBackup TEXT, RecfileCopy TEXT, Ins_Date TEXT
);
-- The caller-ID look-up compares the caller number with both phone columns.
CREATE INDEX gogakinfo_mobile ON gogakinfo (MobileNumber);
CREATE INDEX gogakinfo_office ON gogakinfo (OfficeNumber);
CREATE INDEX gogakinfo_owner ON gogakinfo (BranchID, TeamID, AgentID, Status);

-- The same columns in the same order as gogakinfo, without a key of its own:
-- every edit copies the customer's row here as it was.
CREATE TABLE gogakinfo_h (
    ID INTEGER,
    BranchID TEXT, BranchName TEXT, TeamID TEXT,
    AgentID TEXT, AgentID_1 TEXT,
    Name TEXT, JuminNo TEXT, DataType TEXT, CampaignID TEXT, RegDate TEXT, Status TEXT,
    MobileNumber TEXT, OfficeNumber TEXT, HomeNumber TEXT,
    OfficePost TEXT, OfficeAddress1 TEXT, OfficeAddress2 TEXT,
    HomePost TEXT, HomeAddress1 TEXT, HomeAddress2 TEXT,
    AppointmentDate TEXT, AgreementCorp TEXT,
    blank1 TEXT, blank2 TEXT, blank3 TEXT, blank4 TEXT, blank5 TEXT, blank6 TEXT,
    CustSex TEXT, CustAge TEXT, CustDob TEXT, CustArea TEXT, FreeInsu TEXT,
    DistributeDate TEXT, ImpDate TEXT, InsureEndDate TEXT, Memo TEXT,
    SendOff TEXT, DvdBackup TEXT, RecfileCopy TEXT, Ins_Date TEXT
);

CREATE TABLE recfile (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    BranchID TEXT, BranchName TEXT, TeamID TEXT, AgentID TEXT,
    Name TEXT, JuminNo TEXT, DataType TEXT, CampaignID TEXT, RegDate TEXT,
    Policy_No TEXT, Listen_ID TEXT, Listen_Result TEXT, Liesten_Date TEXT,
    R_Tel TEXT, RecBound TEXT, Status TEXT DEFAULT '0',
    R_Date TEXT, R_StartTime TEXT, R_EndTime TEXT, R_Time TEXT,
    FolderName TEXT, R_Path TEXT, CustID TEXT, FreeInsu TEXT,
    UploadStatus TEXT DEFAULT '0', SendOff TEXT, DvdBackup TEXT, RecfileCopy TEXT,
    Memo TEXT, Ins_Date TEXT,
    MobileNumber TEXT, OfficeNumber TEXT
);
CREATE UNIQUE INDEX recfile_path ON recfile (R_Path);
CREATE INDEX recfile_day ON recfile (BranchID, TeamID, RegDate);

CREATE TABLE tb_callstatus (
    STATUS TEXT NOT NULL PRIMARY KEY, kDESCRIPTION TEXT, eDESCRIPTION TEXT
);

CREATE TABLE tb_campaign (
    CampaignID TEXT NOT NULL PRIMARY KEY, CampaignName TEXT, tDel TEXT NOT NULL DEFAULT 'N'
);

CREATE TABLE TB_AGENTCALLSTATISTICS (
    BranchID TEXT, TeamID TEXT, AgentID TEXT, RecDate TEXT, Status TEXT,
    RecBound INTEGER, RecCnt INTEGER DEFAULT 0, RecDuration INTEGER DEFAULT 0,
    UNIQUE (BranchID, TeamID, AgentID, RecDate, Status, RecBound)
);

CREATE TABLE tb_branchworkcount (
    BranchID TEXT, tMonth TEXT, tDate TEXT, WorkCount INTEGER DEFAULT 0,
    UNIQUE (BranchID, tMonth)
);

CREATE TABLE tb_autoDistribute (
    BranchID TEXT, TeamID TEXT, AgentID TEXT, DistributeDate TEXT, DistributeCnt INTEGER DEFAULT 0,
    UNIQUE (BranchID, TeamID, AgentID, DistributeDate)
);

-- Who listened to which recording (the program only writes it).
CREATE TABLE TB_RECACCESS (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    BranchID TEXT, AgentID TEXT, AgentIp TEXT, AccessTime TEXT, R_Path TEXT, AccessKind TEXT
);
CREATE INDEX recaccess_path ON TB_RECACCESS (R_Path);

-- The counting writes each desk has applied, by the desk's own name and the
-- sequence of its local journal: a write sent again after its answer was
-- lost finds its row here and counts nothing twice.
CREATE TABLE deskapplied (
    Desk TEXT, Seq INTEGER,
    PRIMARY KEY (Desk, Seq)
);
