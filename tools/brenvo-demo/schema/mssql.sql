-- Brenvo central tables for Microsoft SQL Server.
-- Run the first part in the directory database, the second in each branch
-- database (the branch row's DBName). sqlcmd -S host -U user -d db -i mssql.sql
--
-- Collation: Brenvo writes every value into its statement as a plain '...'
-- literal, and SQL Server stores such a literal through the database's
-- collation, even into an nvarchar column. Korean text needs a Korean
-- collation (code page 949) or a _UTF8 one (SQL Server 2019 and later); under
-- any other, every Hangul syllable is stored as '?'. Create both databases
-- with one, or change an existing one while nobody is connected:
--   CREATE DATABASE Brenvo0001 COLLATE Korean_Wansung_CI_AS;
--   ALTER DATABASE Brenvo0001 COLLATE Korean_Wansung_CI_AS;
-- Code page 949 holds every Hangul syllable but no emoji; those become '?'
-- unless the collation is a _UTF8 one, e.g. Korean_100_CI_AS_SC_UTF8.
--
-- Declared lengths are enforced by SQL Server: a longer value fails the whole
-- statement ("String or binary data would be truncated.", error 8152). The
-- program's text boxes stop at these lengths.

-- Directory database
CREATE TABLE TB_BRANCH (
    BranchID nvarchar(10) NOT NULL PRIMARY KEY,
    BranchName nvarchar(50), BranchIP nvarchar(100), DBName nvarchar(50),
    FtpIP nvarchar(100), FtpUser nvarchar(50), FtpPwd nvarchar(50), FtpPortNo nvarchar(10),
    LandCode nvarchar(5), LineAreaCd nvarchar(10), LineLongCd nvarchar(10), FlashTime nvarchar(10),
    TDel nchar(1) NOT NULL DEFAULT 'N'
);
GO

-- Branch database
CREATE TABLE AgentLogin (
    ID int IDENTITY(1,1) PRIMARY KEY,
    BranchID nvarchar(10) NOT NULL, TeamID nvarchar(10), AgentID nvarchar(20) NOT NULL,
    Agent_Passwd nvarchar(50), UserName nvarchar(50), Agent_Privilege nvarchar(2),
    Agent_Local_PhoneNO nvarchar(20), Login nvarchar(1) DEFAULT '0', Status nvarchar(1) DEFAULT '0',
    AgentIp nvarchar(40) DEFAULT '', JuminNo nvarchar(20), BeginDate nvarchar(10), EndDate nvarchar(10),
    Email nvarchar(100), DorvaneModel nvarchar(20), RecDataPeriod nvarchar(10),
    tDel nchar(1) NOT NULL DEFAULT 'N',
    CONSTRAINT AgentLogin_agent UNIQUE (BranchID, AgentID)
);

CREATE TABLE gogakinfo (
    ID int IDENTITY(1,1) PRIMARY KEY,
    BranchID nvarchar(10), BranchName nvarchar(50), TeamID nvarchar(10),
    AgentID nvarchar(20) DEFAULT '', AgentID_1 nvarchar(20) DEFAULT '',
    Name nvarchar(100), JuminNo nvarchar(20), DataType nvarchar(2), CampaignID nvarchar(10),
    RegDate nvarchar(10), Status nvarchar(5) DEFAULT '0',
    MobileNumber nvarchar(30), OfficeNumber nvarchar(30), HomeNumber nvarchar(30),
    OfficePost nvarchar(10), OfficeAddress1 nvarchar(200), OfficeAddress2 nvarchar(200),
    HomePost nvarchar(10), HomeAddress1 nvarchar(200), HomeAddress2 nvarchar(200),
    AppointmentDate nvarchar(10), AgreementCorp nvarchar(100),
    blank1 nvarchar(200), blank2 nvarchar(200), blank3 nvarchar(200),
    blank4 nvarchar(200), blank5 nvarchar(200), blank6 nvarchar(200),
    CustSex nvarchar(2), CustAge nvarchar(5), CustDob nvarchar(10), CustArea nvarchar(50),
    FreeInsu nvarchar(50), DistributeDate nvarchar(10), ImpDate nvarchar(10), InsureEndDate nvarchar(10),
    Memo nvarchar(max), SendOff nvarchar(10), DvdBackup nvarchar(10), RecfileCopy nvarchar(10),
    Ins_Date nvarchar(20)
);
CREATE INDEX gogakinfo_mobile ON gogakinfo (MobileNumber);
CREATE INDEX gogakinfo_office ON gogakinfo (OfficeNumber);
CREATE INDEX gogakinfo_owner ON gogakinfo (BranchID, TeamID, AgentID, Status);

CREATE TABLE gogakinfo_h (
    ID int,
    BranchID nvarchar(10), BranchName nvarchar(50), TeamID nvarchar(10),
    AgentID nvarchar(20), AgentID_1 nvarchar(20),
    Name nvarchar(100), JuminNo nvarchar(20), DataType nvarchar(2), CampaignID nvarchar(10),
    RegDate nvarchar(10), Status nvarchar(5),
    MobileNumber nvarchar(30), OfficeNumber nvarchar(30), HomeNumber nvarchar(30),
    OfficePost nvarchar(10), OfficeAddress1 nvarchar(200), OfficeAddress2 nvarchar(200),
    HomePost nvarchar(10), HomeAddress1 nvarchar(200), HomeAddress2 nvarchar(200),
    AppointmentDate nvarchar(10), AgreementCorp nvarchar(100),
    blank1 nvarchar(200), blank2 nvarchar(200), blank3 nvarchar(200),
    blank4 nvarchar(200), blank5 nvarchar(200), blank6 nvarchar(200),
    CustSex nvarchar(2), CustAge nvarchar(5), CustDob nvarchar(10), CustArea nvarchar(50),
    FreeInsu nvarchar(50), DistributeDate nvarchar(10), ImpDate nvarchar(10), InsureEndDate nvarchar(10),
    Memo nvarchar(max), SendOff nvarchar(10), DvdBackup nvarchar(10), RecfileCopy nvarchar(10),
    Ins_Date nvarchar(20)
);

CREATE TABLE recfile (
    ID int IDENTITY(1,1) PRIMARY KEY,
    BranchID nvarchar(10), BranchName nvarchar(50), TeamID nvarchar(10), AgentID nvarchar(20),
    Name nvarchar(100), JuminNo nvarchar(20), DataType nvarchar(2), CampaignID nvarchar(10),
    RegDate nvarchar(10), Policy_No nvarchar(30), Listen_ID nvarchar(20), Listen_Result nvarchar(20),
    Liesten_Date nvarchar(20), R_Tel nvarchar(30), RecBound nvarchar(1), Status nvarchar(5) DEFAULT '0',
    R_Date nvarchar(8), R_StartTime nvarchar(6), R_EndTime nvarchar(6), R_Time nvarchar(10),
    FolderName nvarchar(8), R_Path nvarchar(100), CustID nvarchar(20), FreeInsu nvarchar(50),
    UploadStatus nvarchar(1) DEFAULT '0', SendOff nvarchar(10), DvdBackup nvarchar(10),
    RecfileCopy nvarchar(10), Memo nvarchar(max), Ins_Date nvarchar(20),
    MobileNumber nvarchar(30), OfficeNumber nvarchar(30)
);
CREATE UNIQUE INDEX recfile_path ON recfile (R_Path);
CREATE INDEX recfile_day ON recfile (BranchID, TeamID, RegDate);

CREATE TABLE tb_callstatus (
    STATUS nvarchar(5) NOT NULL PRIMARY KEY, kDESCRIPTION nvarchar(50), eDESCRIPTION nvarchar(50)
);

CREATE TABLE tb_campaign (
    CampaignID nvarchar(10) NOT NULL PRIMARY KEY, CampaignName nvarchar(100),
    tDel nchar(1) NOT NULL DEFAULT 'N'
);

CREATE TABLE TB_AGENTCALLSTATISTICS (
    BranchID nvarchar(10), TeamID nvarchar(10), AgentID nvarchar(20), RecDate nvarchar(10),
    Status nvarchar(5), RecBound int, RecCnt int DEFAULT 0, RecDuration int DEFAULT 0,
    CONSTRAINT agentcallstatistics_key UNIQUE (BranchID, TeamID, AgentID, RecDate, Status, RecBound)
);

CREATE TABLE tb_branchworkcount (
    BranchID nvarchar(10), tMonth nvarchar(6), tDate nvarchar(10), WorkCount int DEFAULT 0,
    CONSTRAINT branchworkcount_key UNIQUE (BranchID, tMonth)
);

CREATE TABLE tb_autoDistribute (
    BranchID nvarchar(10), TeamID nvarchar(10), AgentID nvarchar(20), DistributeDate nvarchar(10),
    DistributeCnt int DEFAULT 0,
    CONSTRAINT autodistribute_key UNIQUE (BranchID, TeamID, AgentID, DistributeDate)
);

-- Who listened to which recording, for the branch's auditors: a row for
-- every playback and every fetch from the FTP server, written by the desk
-- before the sound starts. AccessKind: 'played locally', 'fetched' or
-- 'played fetched'. The program never reads it back.
CREATE TABLE TB_RECACCESS (
    ID int IDENTITY(1,1) PRIMARY KEY,
    BranchID nvarchar(10), AgentID nvarchar(20), AgentIp nvarchar(50), AccessTime datetime,
    R_Path nvarchar(100), AccessKind nvarchar(20)
);
CREATE INDEX recaccess_path ON TB_RECACCESS (R_Path);

-- The counting writes each desk has applied, by the desk's own name and the
-- sequence of its local journal: a write sent again after its answer was
-- lost finds its row here and counts nothing twice.
CREATE TABLE deskapplied (
    Desk nvarchar(40) NOT NULL, Seq bigint NOT NULL,
    CONSTRAINT deskapplied_key PRIMARY KEY (Desk, Seq)
);
GO
