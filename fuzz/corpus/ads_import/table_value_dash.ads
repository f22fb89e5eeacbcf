{fDefFrmtVers=1.2;strDefVersion=v;strDefTitle=t;strAuthor=a;strEngine=e;strYear=y;strVINCode=v;strCodeMask=m;strComments=c;iBaud=8192;dwFlags=0x10;dwCSID=0;btNumDumpRequests=1;strCommandName=Data;rgbtCommand=F4,57,01,00;iTotalBytesInCommand=5;bChecksumCommand=1;iNumBytesInPayload=63;iNumBytesBeforePayload=3;bMaster=1;bMonitor=1;iChainTo=-1;}
{dwItemType=5;strItemComments=c;bSeparator=0;bVisible=1;dwUniqueID=9;btDataType=2;wTableSize=4;wIndexSize=4;strTableName=T;dwReserved=0;dwReserved=0;pbtData=0,1.5
3,-2;}
{dwItemType=1;strItemComments=c;bSeparator=0;bVisible=1;dwUniqueID=9;btByteNumber=2;btMessageNumber=1;dwItemSizeBits=16;dwOperation=6;dFactor=0.5;dOffset=-40;strItemTitle=V;strUnitLabel=u;dwAlarmHigh=3;bAlarmHighENable=1;dwAlarmLow=0;bAlarmLowEnable=0;iRangeHigh=255;iRangeLow=0;iLookupTableIndex=9;}
{dwItemType=6;strItemComments=;bSeparator=0;bVisible=1;dwUniqueID=0;btNumGauges=1;strIDsDisplayed=9;btNumMonitors=1;strMonsDisplayed=9;}
